#pragma once

#include <QString>
#include <sys/socket.h>

namespace server {

// A socket address as the client's IP text: dotted decimal for IPv4, also
// when it reaches an IPv6 socket as an IPv4-mapped address; "" when unknown.
QString AddressText(const sockaddr_storage& address);

// The peer address of a connected descriptor.
QString PeerAddress(int fd);

} // namespace server
