#include "server/socket.h"

#include "diagnostics/trace.h"
#include "server/peeraddress.h"
#include "server/tls/tlssession.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace server {

namespace {
constexpr qsizetype READ_BYTES = 64 * 1024;
constexpr qint64 FALLBACK_CHUNK_BYTES = 256 * 1024; // when the file cannot be sent directly
// A file read for TLS: enough for a few full records per call, little memory per connection.
constexpr qint64 TLS_CHUNK_BYTES = 64 * 1024;
// Head and body in one TLS record when they fit: one packet, as sendmsg gives plain answers.
constexpr qsizetype TLS_RECORD_BYTES = 16 * 1024;
constexpr qint64 SENDFILE_MAX_BYTES = 1 << 30;
constexpr int LINGER_MS = 2000;

// RAII depth counter: completion is signalled only once the outermost handler is done.
struct Depth {
    explicit Depth(int& d) : depth(d) { ++depth; }
    ~Depth() { --depth; }
    int& depth;
};
} // namespace

Socket::Socket(int index, QObject* parent)
    : QObject(parent), m_index(index),
      m_readNotifier(new QSocketNotifier(QSocketNotifier::Read, this)),
      m_writeNotifier(new QSocketNotifier(QSocketNotifier::Write, this)) {
    connect(m_readNotifier, &QSocketNotifier::activated, this, &Socket::onReadable);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &Socket::onWritable);
}

Socket::~Socket() {
    // Goes with the server: the descriptor is released without telling anybody.
    m_readNotifier->setEnabled(false);
    m_writeNotifier->setEnabled(false);
    if (m_fd >= 0)
        ::close(m_fd);
}

int Socket::State() const {
    if (m_fd < 0)
        return STATE_CLOSED;
    return m_lingering ? STATE_CLOSING : STATE_CONNECTED;
}

sockaddr_storage Socket::local() const {
    sockaddr_storage address{};
    return m_fd >= 0 ? LocalOf(m_fd) : address;
}

bool Socket::Accept(qintptr requestID, const sockaddr_storage* peer,
                    std::unique_ptr<TlsSession> tls) {
    if (m_fd >= 0)
        closeNow();
    const int fd = static_cast<int>(requestID);
    int nonBlocking = 1;
    if (!peer && ::ioctl(fd, FIONBIO, &nonBlocking) != 0)
        return false;
    m_fd = fd;
    m_peer = peer ? *peer : PeerOf(fd);
    m_remoteHostIP = AddressText(m_peer);
    m_received.clear();
    m_outbox.clear();
    m_outboxSent = 0;
    m_body.clear();
    m_bodySent = 0;
    endStream();
    m_answerQueued = false;
    m_completeSignalled = false;
    m_peerClosed = false;
    m_linger = false;
    m_lingering = false;
    m_tls = std::move(tls);
    m_secure = m_tls != nullptr;
    ++m_generation;
    m_readNotifier->setSocket(fd);
    m_writeNotifier->setSocket(fd);
    return true;
}

void Socket::StartReading() {
    if (m_fd < 0)
        return;
    // Watched from now on (also while a page made for this request lets
    // events run), but a client usually sends its request at once: read it
    // now rather than after the next wait for events.
    m_readNotifier->setEnabled(true);
    onReadable();
}

void Socket::SendData(const QByteArray& head, const QByteArray& body) {
    {
        const Depth depth(m_depth);
        m_answerQueued = true;
        queue(head);
        m_body = body; // shared, never copied: a kept file is sent as it is kept
        m_bodySent = 0;
        writePending();
    }
    checkSendComplete();
}

void Socket::SendInterim(const QByteArray& data) {
    const Depth depth(m_depth);
    queue(data);
    writePending();
}

// After what is still waiting to go out (an interim answer), if anything.
void Socket::queue(const QByteArray& data) {
    if (m_outboxSent < m_outbox.size()) {
        m_outbox = m_outbox.mid(m_outboxSent) + data;
    } else {
        m_outbox = data;
    }
    m_outboxSent = 0;
}

void Socket::SendStream(const QByteArray& head, std::shared_ptr<QFile> file, qint64 length) {
    {
        const Depth depth(m_depth);
        m_answerQueued = true;
        queue(head);
        if (length > 0) {
            m_stream = std::move(file);
            m_streamOffset = 0;
            m_streamLeft = length;
            m_useSendfile = !m_tls; // the kernel cannot encrypt what it sends from a file
        }
        writePending();
    }
    checkSendComplete();
}

void Socket::Close() {
    if (m_fd < 0 || m_lingering)
        return;
    if (outputPending())
        return; // sendComplete comes, and the close with it
    if (m_tls)
        m_tls->shutdown();
    if (!m_linger || m_peerClosed) {
        closeNow();
        return;
    }
    m_lingering = true;
    ::shutdown(m_fd, SHUT_WR);
    const quint64 generation = m_generation;
    QTimer::singleShot(LINGER_MS, this, [this, generation] {
        if (generation == m_generation && m_lingering)
            closeNow();
    });
}

void Socket::Abort() {
    if (m_fd < 0)
        return;
    // A reset instead of a close: what the kernel still holds for this client
    // is dropped with the descriptor rather than kept trying to reach it.
    const linger reset{1, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    closeNow();
}

bool Socket::handshaking() const {
    return m_tls && !m_tls->established();
}

void Socket::onReadable() {
    if (m_lingering) {
        drain();
        return;
    }
    if (handshaking() && !continueHandshake())
        return;
    const Read state = readAvailable();
    if (!m_received.isEmpty()) {
        const Depth depth(m_depth);
        Q_EMIT dataArrival(m_index, m_received.size());
        m_received.clear(); // whatever the handler did not take
    }
    if (m_fd < 0)
        return; // closed by the handler
    if (state == Read::Broken) {
        closeNow();
        return;
    }
    if (state == Read::PeerClosed) {
        // A half-close after the request still gets its whole answer; a client
        // gone before its request was complete frees the connection.
        m_peerClosed = true;
        m_readNotifier->setEnabled(false);
        if (!m_answerQueued) {
            closeNow();
            return;
        }
    }
    checkSendComplete();
}

// True once the handshake is done; a client that fails it is traced and let go.
bool Socket::continueHandshake() {
    switch (m_tls->handshake()) {
    case TlsSession::Wait::None:
        m_writeNotifier->setEnabled(false);
        return true;
    case TlsSession::Wait::Readable:
        m_writeNotifier->setEnabled(false);
        return false;
    case TlsSession::Wait::Writable:
        m_writeNotifier->setEnabled(true);
        return false;
    case TlsSession::Wait::Failed:
        diagnostics::WriteTrace(QLatin1Char('[') + m_remoteHostIP +
                                    QStringLiteral("] TLS handshake failed: ") + m_tls->failure(),
                                diagnostics::Severity::Warning);
        break;
    case TlsSession::Wait::Closed:
        break;
    }
    closeNow();
    return false;
}

Socket::Read Socket::readAvailable() {
    char buffer[READ_BYTES];
    if (m_tls)
        return readTls(buffer, sizeof buffer);
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0) {
            m_received.append(buffer, n);
            if (n < READ_BYTES)
                return Read::Open; // the rest, if any, comes with the next notification
            continue;
        }
        if (n == 0)
            return Read::PeerClosed;
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? Read::Open : Read::Broken;
    }
}

// Every record the socket holds: what OpenSSL has read ahead is never left waiting for a
// notification that will not come.
Socket::Read Socket::readTls(char* buffer, qsizetype size) {
    for (;;) {
        TlsSession::Wait wait = TlsSession::Wait::None;
        const qsizetype n = m_tls->read(buffer, size, wait);
        if (n > 0) {
            m_received.append(buffer, n);
            continue;
        }
        switch (wait) {
        case TlsSession::Wait::Readable:
            return Read::Open;
        case TlsSession::Wait::Writable:
            m_writeNotifier->setEnabled(true);
            return Read::Open;
        case TlsSession::Wait::Closed:
            return Read::PeerClosed;
        case TlsSession::Wait::None:
        case TlsSession::Wait::Failed:
            return Read::Broken;
        }
    }
}

void Socket::drain() {
    char buffer[READ_BYTES];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0)
            continue;
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        closeNow(); // the client has closed too, or is gone
        return;
    }
}

void Socket::onWritable() {
    if (handshaking()) {
        if (continueHandshake())
            onReadable();
        return;
    }
    {
        const Depth depth(m_depth);
        writePending();
    }
    checkSendComplete();
}

// After a failed send: true when it may be tried again at once. A full socket
// waits until it drains; any other error means the client is gone.
bool Socket::retryAfterSendError(int err) {
    if (err == EINTR)
        return true;
    if (err == EAGAIN || err == EWOULDBLOCK)
        m_writeNotifier->setEnabled(true);
    else
        closeNow();
    return false;
}

// Sends what the outbox and the body still hold, both in one call; false when the socket
// is full or gone.
bool Socket::writeBuffers() {
    if (m_tls)
        return writeTls();
    while (m_fd >= 0 && (m_outboxSent < m_outbox.size() || m_bodySent < m_body.size())) {
        iovec parts[2];
        int count = 0;
        if (m_outboxSent < m_outbox.size())
            parts[count++] = {const_cast<char*>(m_outbox.constData()) + m_outboxSent,
                              static_cast<size_t>(m_outbox.size() - m_outboxSent)};
        if (m_bodySent < m_body.size())
            parts[count++] = {const_cast<char*>(m_body.constData()) + m_bodySent,
                              static_cast<size_t>(m_body.size() - m_bodySent)};
        msghdr message{};
        message.msg_iov = parts;
        message.msg_iovlen = static_cast<size_t>(count);
        // MSG_MORE: the head waits for the first piece of the file instead of
        // going out as a packet of its own, and the end of an answer waits for
        // the close that follows it at once, so that the FIN rides along.
        const int flags = MSG_NOSIGNAL | (m_stream || m_answerQueued ? MSG_MORE : 0);
        ssize_t n = ::sendmsg(m_fd, &message, flags);
        if (n < 0) {
            if (!retryAfterSendError(errno))
                return false;
            continue;
        }
        m_bytesSent += static_cast<quint64>(n);
        const qsizetype fromOutbox = std::min<qsizetype>(n, m_outbox.size() - m_outboxSent);
        m_outboxSent += fromOutbox;
        m_bodySent += n - fromOutbox;
    }
    return m_fd >= 0;
}

// As writeBuffers, through TLS. A piece that waited is offered again as it was.
bool Socket::writeTls() {
    const qsizetype together = m_outbox.size() + m_body.size();
    if (m_outboxSent == 0 && m_bodySent == 0 && !m_outbox.isEmpty() && !m_body.isEmpty() &&
        together <= TLS_RECORD_BYTES) {
        m_outbox.append(m_body);
        m_body.clear();
    }
    while (m_fd >= 0) {
        const bool fromOutbox = m_outboxSent < m_outbox.size();
        if (!fromOutbox && m_bodySent >= m_body.size())
            return true;
        const QByteArray& part = fromOutbox ? m_outbox : m_body;
        qsizetype& sent = fromOutbox ? m_outboxSent : m_bodySent;
        const qsizetype length = std::min<qsizetype>(part.size() - sent, TLS_CHUNK_BYTES);
        TlsSession::Wait wait = TlsSession::Wait::None;
        const qsizetype n = m_tls->write(part.constData() + sent, length, wait);
        if (n > 0) {
            sent += n;
            m_bytesSent += static_cast<quint64>(n);
            continue;
        }
        if (wait == TlsSession::Wait::Writable) {
            m_writeNotifier->setEnabled(true);
            return false;
        }
        if (wait == TlsSession::Wait::Readable)
            return false;
        closeNow();
    }
    return false;
}

void Socket::writePending() {
    while (m_fd >= 0) {
        if (!writeBuffers())
            return;
        m_outbox.clear();
        m_outboxSent = 0;
        m_body.clear();
        m_bodySent = 0;
        if (!m_stream)
            break;
        if (!m_useSendfile) {
            if (!fillFromStream())
                endStream();
            continue;
        }
        off_t offset = m_streamOffset;
        // SIGPIPE is ignored process-wide (sendfile has no MSG_NOSIGNAL): a
        // client gone mid-file shows here as EPIPE, like any failed send.
        const ssize_t n =
            ::sendfile(m_fd, m_stream->handle(), &offset,
                       static_cast<size_t>(std::min(m_streamLeft, SENDFILE_MAX_BYTES)));
        if (n > 0) {
            m_bytesSent += static_cast<quint64>(n);
            m_streamOffset = offset;
            m_streamLeft -= n;
            if (m_streamLeft <= 0)
                endStream();
            continue;
        }
        if (n == 0) {
            // Shorter than announced: the close tells the client, by its
            // Content-Length, that the body is cut.
            endStream();
            continue;
        }
        if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) {
            m_useSendfile = false; // a file system that cannot: the same bytes, read and sent
            continue;
        }
        if (!retryAfterSendError(errno))
            return;
    }
    if (m_fd >= 0)
        m_writeNotifier->setEnabled(false);
}

bool Socket::fillFromStream() {
    if (!m_stream->seek(m_streamOffset))
        return false;
    m_outbox =
        m_stream->read(std::min(m_tls ? TLS_CHUNK_BYTES : FALLBACK_CHUNK_BYTES, m_streamLeft));
    m_outboxSent = 0;
    if (m_outbox.isEmpty())
        return false;
    m_streamOffset += m_outbox.size();
    m_streamLeft -= m_outbox.size();
    if (m_streamLeft <= 0)
        m_stream.reset(); // the outbox holds the last piece
    return true;
}

bool Socket::outputPending() const {
    return m_outboxSent < m_outbox.size() || m_bodySent < m_body.size() || m_stream;
}

void Socket::endStream() {
    m_stream.reset();
    m_streamOffset = 0;
    m_streamLeft = 0;
}

void Socket::checkSendComplete() {
    if (m_depth > 0 || m_fd < 0 || !m_answerQueued || m_completeSignalled || outputPending())
        return;
    m_completeSignalled = true;
    Q_EMIT sendComplete(m_index);
}

void Socket::closeNow() {
    if (m_fd < 0)
        return;
    m_readNotifier->setEnabled(false);
    m_writeNotifier->setEnabled(false);
    ::close(m_fd);
    m_fd = -1;
    m_outbox.clear();
    m_outboxSent = 0;
    m_body.clear();
    m_bodySent = 0;
    m_received.clear();
    endStream();
    m_tls.reset();
    m_completeSignalled = true;
    m_lingering = false;
    Q_EMIT closed(m_index);
}

} // namespace server
