#pragma once

#include <QObject>
#include <QString>
#include <sys/socket.h>

class QSocketNotifier;

namespace server {

// Element 0 of the socket array: the listening socket. Each accepted
// connection is raised as a connection request carrying its descriptor
// (non-blocking, close-on-exec), which a connection element then takes over
// (Socket::Accept). The peer's address comes with the accept itself, so a
// connection costs no extra calls to find it.
class Listener final : public QObject {
    Q_OBJECT
public:
    explicit Listener(QObject* parent = nullptr);
    ~Listener() override;

    // Listens on every address (IPv6 and IPv4) at port, with a deep backlog so
    // a burst of clients does not meet SYN retransmits. 0 on success, else a
    // Winsock error number: 10048 address in use, 10013 permission denied.
    int Listen(int port);
    void close();
    bool isListening() const { return m_fd >= 0; }
    quint16 serverPort() const { return m_port; }
    // The peer's address of the connection being raised; valid inside connectionRequest.
    const sockaddr_storage& peer() const { return m_peer; }

Q_SIGNALS:
    void connectionRequest(qintptr requestID);

private:
    void onReadable();
    void pauseAccepting();

    int m_fd = -1;
    quint16 m_port = 0;
    QSocketNotifier* m_notifier = nullptr; // child
    sockaddr_storage m_peer{};
};

} // namespace server
