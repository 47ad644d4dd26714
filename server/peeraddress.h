#pragma once

#include <QString>
#include <sys/socket.h>

namespace server {

// A socket address as the client's IP text: dotted decimal for IPv4, also
// when it reaches an IPv6 socket as an IPv4-mapped address; "" when unknown.
QString AddressText(const sockaddr_storage& address);

// The peer's and this end's socket address of a connected descriptor; AF_UNSPEC when the
// kernel cannot tell.
sockaddr_storage PeerOf(int fd);
sockaddr_storage LocalOf(int fd);

} // namespace server
