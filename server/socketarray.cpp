#include "server/socketarray.h"

#include "server/listener.h"
#include "server/socket.h"

namespace server {

SocketArray::SocketArray(QObject* parent) : QObject(parent), m_listener(new Listener(this)) {
    connect(m_listener, &Listener::connectionRequest, this,
            [this](qintptr requestID) { Q_EMIT ConnectionRequest(0, requestID); });
}

SocketArray::~SocketArray() = default;

int SocketArray::Load() {
    const int index = UBound() + 1;
    auto* socket = new Socket(index, this);
    connect(socket, &Socket::dataArrival, this, &SocketArray::DataArrival);
    connect(socket, &Socket::sendComplete, this, &SocketArray::SendComplete);
    connect(socket, &Socket::closed, this, &SocketArray::Close);
    m_sockets.push_back(socket);
    return index;
}

} // namespace server
