#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <sys/socket.h>

namespace server {

// Where a request that came over HTTP is sent over HTTPS: "https://", the host the client
// asked for (its Host field without the port, when that is a plain host name or an IP
// address; else this end's address), ":" and httpsPort unless it is 443, then the request
// line's target as the client sent it. None when the target is not a path ("/..." of visible
// characters): such a request is refused rather than redirected.
std::optional<QByteArray> HttpsLocation(const QByteArray& request,
                                        const std::optional<QString>& hostField,
                                        const sockaddr_storage& local, int httpsPort);

} // namespace server
