#pragma once

#include <QByteArrayView>
#include <optional>
#include <sys/socket.h>
#include <sys/types.h>

namespace dataserver {

// The owners of sockets, asked of the kernel's socket diagnostics rather than of the sockets
// themselves, so they can be told of sockets nobody can connect to or that belong to others.

// The owner of the listening Unix stream socket bound to an address; it works when nobody can
// connect (a full backlog). address: the bytes of sun_path as bound (an abstract address
// begins with its NUL). Returns nothing when no such socket listens; raises common::Error when
// the kernel cannot be asked.
std::optional<uid_t> ListeningSocketOwner(QByteArrayView address);

// The owner of the connected TCP socket on this machine whose own end is local and whose
// other end is remote (IPv4 or IPv6; an IPv4 address mapped into IPv6 is looked up as IPv4):
// for a loopback connection accepted here, the client's socket is the one with the client's
// address as local and the server's as remote. Returns nothing when there is no such socket,
// or when no process holds it any more (closed, only waiting out the connection's end);
// raises common::Error when the kernel cannot be asked.
std::optional<uid_t> TcpSocketOwner(const sockaddr_storage& local, const sockaddr_storage& remote);

} // namespace dataserver
