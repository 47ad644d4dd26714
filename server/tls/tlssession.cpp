#include "server/tls/tlssession.h"

#include "server/tls/opensslerror.h"

#include <cerrno>
#include <cstring>
#include <openssl/err.h>
#include <openssl/ssl.h>

namespace server {

TlsSession::TlsSession(SSL* ssl, int fd) : m_ssl(ssl) {
    SSL_set_fd(m_ssl, fd);
}

TlsSession::~TlsSession() {
    SSL_free(m_ssl);
}

TlsSession::Wait TlsSession::handshake() {
    if (m_established)
        return Wait::None;
    const int result = SSL_do_handshake(m_ssl);
    if (result == 1) {
        m_established = true;
        return Wait::None;
    }
    return waitAfter(result);
}

qsizetype TlsSession::read(char* data, qsizetype size, Wait& wait) {
    size_t done = 0;
    const int result = SSL_read_ex(m_ssl, data, static_cast<size_t>(size), &done);
    wait = result == 1 ? Wait::None : waitAfter(result);
    return static_cast<qsizetype>(done);
}

qsizetype TlsSession::write(const char* data, qsizetype size, Wait& wait) {
    size_t done = 0;
    const int result = SSL_write_ex(m_ssl, data, static_cast<size_t>(size), &done);
    wait = result == 1 ? Wait::None : waitAfter(result);
    return static_cast<qsizetype>(done);
}

void TlsSession::shutdown() {
    if (!m_established || (SSL_get_shutdown(m_ssl) & SSL_SENT_SHUTDOWN))
        return;
    // One try: a close_notify that does not fit into the socket now is not waited for.
    if (SSL_shutdown(m_ssl) < 0)
        ClearOpenSslErrors();
}

TlsSession::Wait TlsSession::waitAfter(int result) {
    const int error = SSL_get_error(m_ssl, result);
    switch (error) {
    case SSL_ERROR_WANT_READ:
        return Wait::Readable;
    case SSL_ERROR_WANT_WRITE:
        return Wait::Writable;
    case SSL_ERROR_ZERO_RETURN:
        return Wait::Closed;
    case SSL_ERROR_SYSCALL:
        // The client went away without a goodbye (or the socket failed): no OpenSSL error.
        m_failure = errno != 0 ? QString::fromLocal8Bit(std::strerror(errno))
                               : QStringLiteral("the client closed the connection");
        ClearOpenSslErrors();
        return Wait::Closed;
    default:
        m_failure = OpenSslErrorText();
        if (m_failure.isEmpty())
            m_failure = QStringLiteral("TLS error %1").arg(error);
        return Wait::Failed;
    }
}

} // namespace server
