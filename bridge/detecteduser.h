#pragma once

#include <QString>

namespace server {
struct RequestOrigin;
}

namespace bridge {

// The user the web server detected for a request: REMOTE_USER and AUTH_TYPE of its
// ServerVariables, both "" when anonymous.
struct DetectedUser {
    QString name;
    QString authType; // keys::AUTH_TYPE_PROXY or keys::AUTH_TYPE_LOCAL
};

// The name a trusted proxy passed (AUTH_TYPE "Proxy"; none: anonymous, never the proxy's own
// account); on a loopback connection the local account that owns the client's socket, asked
// of the kernel (AUTH_TYPE "Local"; a socket it cannot find, or an account without a name:
// anonymous, and a kernel that cannot be asked is traced); anonymous for any other peer.
// Called by the page's worker: the kernel's answer costs one round trip of its own.
DetectedUser DetectUser(const server::RequestOrigin& origin);

} // namespace bridge
