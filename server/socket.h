#pragma once

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QString>
#include <memory>
#include <sys/socket.h>
#include <utility>

class QSocketNotifier;

namespace server {

class TlsSession;

// One connection element of the socket array: a non-blocking TCP descriptor
// driven by socket notifiers. An answer is handed over once (SendData, its head
// and body going out together without being joined first, or SendStream for a
// body sent straight from a file as the socket drains, so a big file never sits
// in memory); sendComplete follows when the last byte has gone to the kernel,
// never from inside the caller's own dataArrival handler.
//
// A connection of the HTTPS listener carries a TlsSession: its handshake comes first (no
// dataArrival before it is done), then every byte in and out goes through it, and a file is
// read and sent in pieces rather than straight from the file.
//
// QTcpSocket is not used here: it closes its descriptor as soon as the client
// half-closes (shuts its sending side after the request), which would cut off
// a long answer still going out.
class Socket final : public QObject {
    Q_OBJECT
public:
    // Winsock state numbers; others (closing...) count as neither closed nor connected.
    static constexpr int STATE_CLOSED = 0;
    static constexpr int STATE_CONNECTED = 7;
    static constexpr int STATE_CLOSING = 8;

    explicit Socket(int index, QObject* parent = nullptr);
    ~Socket() override;

    int index() const { return m_index; }
    int State() const;
    // The peer's address as captured on Accept; dotted decimal for IPv4 peers.
    QString RemoteHostIP() const { return m_remoteHostIP; }
    // The peer's socket address as captured on Accept, and this end's, asked of the kernel
    // (AF_UNSPEC when it cannot tell).
    const sockaddr_storage& peer() const { return m_peer; }
    sockaddr_storage local() const;

    // Takes over the connected descriptor of an accepted connection. A caller
    // that accepted it non-blocking passes the peer's address it got with it;
    // without one, both are seen to here. tls: the connection speaks TLS through it.
    bool Accept(qintptr requestID, const sockaddr_storage* peer = nullptr,
                std::unique_ptr<TlsSession> tls = {});
    // Starts the events of an accepted connection; what has arrived already
    // is raised as dataArrival before this returns.
    void StartReading();
    // All bytes received since the last call.
    QByteArray GetData() { return std::exchange(m_received, {}); }
    void SendData(const QByteArray& head, const QByteArray& body = {});
    // An interim answer ("100 Continue") ahead of the real one: no completion follows it.
    void SendInterim(const QByteArray& data);
    // head, then the next length bytes of file.
    void SendStream(const QByteArray& head, std::shared_ptr<QFile> file, qint64 length);
    // Closes the connection; an answer still going out is finished first (the
    // close follows its completion). With lingering on, the sending side is
    // shut first and what the client still sends is read and dropped for a
    // moment, so that unread request bytes cannot turn the close into a reset
    // that destroys the answer on its way.
    void Close();
    void setLingerOnClose(bool linger) { m_linger = linger; }
    // Drops the connection at once, whatever is still going out (a client that
    // stopped reading its answer).
    void Abort();

    // Tells apart the connections this element carries over time: code that lets
    // the event loop run checks it is still answering the same client.
    quint64 generation() const { return m_generation; }
    bool answerQueued() const { return m_answerQueued; }
    // The connection came through the HTTPS listener (it stays so after the close).
    bool secure() const { return m_secure; }
    // Its TLS handshake is not done yet.
    bool handshaking() const;
    bool sending() const { return m_fd >= 0 && m_answerQueued && !m_completeSignalled; }
    // Bytes handed to the kernel on this element so far: unchanged means no progress.
    quint64 bytesSent() const { return m_bytesSent; }

Q_SIGNALS:
    void dataArrival(int index, qint64 bytesTotal);
    void sendComplete(int index);
    void closed(int index); // the connection is gone, whoever closed it

private:
    enum class Read { Open, PeerClosed, Broken };

    void onReadable();
    void onWritable();
    bool continueHandshake();
    Read readAvailable();
    Read readTls(char* buffer, qsizetype size);
    bool writeTls();
    void drain();
    void queue(const QByteArray& data);
    void writePending();
    bool writeBuffers();
    bool retryAfterSendError(int err);
    bool fillFromStream();
    bool outputPending() const;
    void endStream();
    void checkSendComplete();
    void closeNow();

    int m_index = 0;
    int m_fd = -1;
    QSocketNotifier* m_readNotifier = nullptr;  // child
    QSocketNotifier* m_writeNotifier = nullptr; // child
    std::unique_ptr<TlsSession> m_tls;
    bool m_secure = false;
    sockaddr_storage m_peer{};
    QString m_remoteHostIP;
    QByteArray m_received;
    QByteArray m_outbox;
    qsizetype m_outboxSent = 0;
    QByteArray m_body; // sent right behind the outbox, in the same calls
    qsizetype m_bodySent = 0;
    std::shared_ptr<QFile> m_stream;
    qint64 m_streamOffset = 0;
    qint64 m_streamLeft = 0;
    bool m_useSendfile = true;
    int m_depth = 0; // > 0 while inside our own handlers: completion waits
    bool m_answerQueued = false;
    bool m_completeSignalled = false;
    bool m_peerClosed = false;
    bool m_linger = false;
    bool m_lingering = false;
    quint64 m_generation = 0; // tells apart connections on the same element
    quint64 m_bytesSent = 0;
};

} // namespace server
