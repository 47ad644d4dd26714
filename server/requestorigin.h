#pragma once

#include "server/addressrange.h"

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <sys/socket.h>

namespace server {

// The two ends of the TCP connection a request came on, as this server sees them.
struct ConnectionEnds {
    sockaddr_storage local{};
    sockaddr_storage peer{};
};

// Where a dynamic request came from and who sent it, as far as the connection, its header and
// the trusted proxies tell on the event loop. The web application learns its client's address
// and user from it.
struct RequestOrigin {
    enum class Via {
        Network,      // any other peer: the user is anonymous
        Loopback,     // a peer on this machine: the user owns the client's socket
        TrustedProxy, // a peer in TrustedProxies: the user is the one it names
    };
    Via via = Via::Network;
    // The client's address: the peer's, or for a trusted proxy the last address of its
    // X-Forwarded-For when that is an IP address.
    QString clientAddress;
    // Via::TrustedProxy: the user its Remote-User names, "" for none (anonymous).
    QString proxyUser;
    // The connection, whose client socket's owner is the user on Via::Loopback; looked up by
    // the page's worker, not on the event loop.
    ConnectionEnds ends;
};

// The longest name a trusted proxy may pass in Remote-User, in characters.
inline constexpr int MAX_REMOTE_USER = 256;

// The origin of request (its bytes as they came) on the connection ends. A trusted proxy's
// Remote-User is taken only as one line of UTF-8 text of at most MAX_REMOTE_USER characters
// and no control character; otherwise the user is anonymous and a warning is traced. Headers
// of any other peer are not looked at.
RequestOrigin OriginOf(QByteArrayView request, const ConnectionEnds& ends,
                       const QList<AddressRange>& trustedProxies);

} // namespace server
