#include "tests/support/tlsclient.h"

#include <QTest>
#include <gtest/gtest.h>

#include <future>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <unistd.h>

namespace support {

namespace {
constexpr int CLIENT_WAIT_MS = 60000;

QString errors() {
    QString text;
    while (const unsigned long code = ERR_get_error()) {
        char buffer[256];
        ERR_error_string_n(code, buffer, sizeof buffer);
        text += QString::fromUtf8(buffer) + QLatin1Char(' ');
    }
    return text.trimmed();
}

int connectTo(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int noteRequest(SSL* ssl, X509**, EVP_PKEY**) {
    static_cast<TlsAnswer*>(SSL_get_app_data(ssl))->certificateRequested = true;
    return 0; // no certificate to give
}

// TLS 1.3 tickets come after the handshake: the session to resume is the one they bring.
int keepSession(SSL* ssl, SSL_SESSION* session) {
    static_cast<TlsAnswer*>(SSL_get_app_data(ssl))->session.reset(session, SSL_SESSION_free);
    return 1; // taken
}

SSL_CTX* clientContext(const TlsClientOptions& options) {
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    // Old protocols are offered only when asked for: the system's defaults would not.
    if (options.maxVersion != 0 && options.maxVersion < TLS1_2_VERSION) {
        SSL_CTX_set_security_level(context, 0);
        SSL_CTX_set_cipher_list(context, "DEFAULT:@SECLEVEL=0");
    }
    if (options.minVersion)
        SSL_CTX_set_min_proto_version(context, options.minVersion);
    if (options.maxVersion)
        SSL_CTX_set_max_proto_version(context, options.maxVersion);
    SSL_CTX_set_client_cert_cb(context, noteRequest);
    SSL_CTX_set_session_cache_mode(context,
                                   SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(context, keepSession);
    if (!options.trustedCertificate.isEmpty()) {
        SSL_CTX_load_verify_locations(context, options.trustedCertificate.toLocal8Bit().constData(),
                                      nullptr);
        SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    }
    return context;
}

TlsAnswer fetch(quint16 port, const QByteArray& request, const TlsClientOptions& options) {
    TlsAnswer answer;
    const int fd = connectTo(port);
    if (fd < 0) {
        answer.failure = QStringLiteral("cannot connect");
        return answer;
    }
    SSL_CTX* context = clientContext(options);
    SSL* ssl = SSL_new(context);
    SSL_set_app_data(ssl, &answer);
    SSL_set_fd(ssl, fd);
    SSL_set_tlsext_host_name(ssl, "localhost");
    if (!options.trustedCertificate.isEmpty())
        SSL_set1_host(ssl, "localhost");
    if (!options.alpn.isEmpty())
        SSL_set_alpn_protos(ssl, reinterpret_cast<const unsigned char*>(options.alpn.constData()),
                            static_cast<unsigned>(options.alpn.size()));
    if (options.session)
        SSL_set_session(ssl, options.session.get());
    if (SSL_connect(ssl) == 1) {
        answer.handshakeDone = true;
        answer.protocol = QString::fromLatin1(SSL_get_version(ssl));
        answer.resumed = SSL_session_reused(ssl) == 1;
        const unsigned char* chosen = nullptr;
        unsigned int length = 0;
        SSL_get0_alpn_selected(ssl, &chosen, &length);
        answer.alpn = QByteArray(reinterpret_cast<const char*>(chosen), length);
        if (X509* peer = SSL_get1_peer_certificate(ssl)) {
            unsigned char* der = nullptr;
            const int size = i2d_X509(peer, &der);
            answer.peerCertificate = QByteArray(reinterpret_cast<const char*>(der), size);
            OPENSSL_free(der);
            X509_free(peer);
        }
        SSL_write(ssl, request.constData(), static_cast<int>(request.size()));
        char buffer[16384];
        int n;
        while ((n = SSL_read(ssl, buffer, sizeof buffer)) > 0)
            answer.bytes.append(buffer, n);
        // Without a goodbye OpenSSL takes the session for a broken one, never to resume.
        SSL_shutdown(ssl);
    } else {
        answer.failure = errors();
    }
    ERR_clear_error();
    SSL_free(ssl);
    SSL_CTX_free(context);
    ::close(fd);
    return answer;
}
} // namespace

TlsAnswer TlsFetch(quint16 port, const QByteArray& request, const TlsClientOptions& options) {
    std::future<TlsAnswer> result =
        std::async(std::launch::async, [&] { return fetch(port, request, options); });
    const bool done = QTest::qWaitFor(
        [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        CLIENT_WAIT_MS);
    EXPECT_TRUE(done) << "no answer over TLS";
    return result.get();
}

} // namespace support
