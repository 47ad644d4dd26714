#include "server/clsconnections.h"

#include "server/socket.h"

namespace server {

int clsConnection::ConnectionIndex() const {
    return socket.index();
}

QString clsConnection::RemoteAddress() const {
    return socket.RemoteHostIP();
}

bool clsConnection::answerStalled(qint64 nowMs, qint64 timeoutMs) {
    if (!socket.sending())
        return false;
    if (sentMarkAtMs < 0 || socket.bytesSent() != sentMark) {
        sentMark = socket.bytesSent();
        sentMarkAtMs = nowMs;
        return false;
    }
    return nowMs - sentMarkAtMs >= timeoutMs;
}

clsConnection& clsConnections::Add(Socket& socket) {
    m_records.push_back(std::make_unique<clsConnection>(socket));
    return *m_records.back();
}

clsConnection& clsConnections::Item(int position) {
    return const_cast<clsConnection&>(std::as_const(*this).Item(position));
}

const clsConnection& clsConnections::Item(int position) const {
    Q_ASSERT(position >= 1 && position <= Count());
    return *m_records.at(static_cast<size_t>(position - 1));
}

} // namespace server
