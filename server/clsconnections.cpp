#include "server/clsconnections.h"

#include "common/error.h"
#include "server/socket.h"

namespace server {

namespace {
constexpr int ERR_SUBSCRIPT = 9;
} // namespace

int clsConnection::ConnectionIndex() const {
    return socket.index();
}

QString clsConnection::RemoteAddress() const {
    return socket.RemoteHostIP();
}

clsConnection& clsConnections::Add(Socket& socket) {
    m_records.push_back(std::make_unique<clsConnection>(socket));
    return *m_records.back();
}

clsConnection& clsConnections::Item(int position) {
    return const_cast<clsConnection&>(std::as_const(*this).Item(position));
}

const clsConnection& clsConnections::Item(int position) const {
    if (position < 1 || position > Count())
        throw common::Error(ERR_SUBSCRIPT, QStringLiteral("Subscript out of range"));
    return *m_records[position - 1];
}

} // namespace server
