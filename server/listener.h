#pragma once

#include <QTcpServer>

namespace server {

// Element 0 of the socket array: the listening socket. Each accepted
// connection is raised as a connection request carrying its descriptor, which
// a connection element then takes over (Socket::Accept).
class Listener final : public QTcpServer {
    Q_OBJECT
public:
    using QTcpServer::QTcpServer;

    // Listens on every address (IPv6 and IPv4) at port, with a deep backlog so
    // a burst of clients does not meet SYN retransmits. 0 on success, else a
    // Winsock error number: 10048 address in use, 10013 permission denied.
    int Listen(int port);

Q_SIGNALS:
    void connectionRequest(qintptr requestID);

protected:
    void incomingConnection(qintptr handle) override;
};

// The Winsock number of a socket errno value (10000 + errno where none matches).
int WinsockError(int errnoValue);

} // namespace server
