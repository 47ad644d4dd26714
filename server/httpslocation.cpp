#include "server/httpslocation.h"

#include "server/ipaddress.h"
#include <algorithm>

namespace server {

namespace {
constexpr int DEFAULT_HTTPS_PORT = 443;

bool isHostCharacter(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'-' || c == u'.' || c == u'_';
}

// The host of a Host field, "[...]" kept around an IPv6 address; none for anything else, so
// that nothing a client sends can change where the redirect leads beyond the host's name.
std::optional<QString> hostOf(const QString& field) {
    QString host = field.trimmed();
    if (host.startsWith(u'[')) {
        const qsizetype end = host.indexOf(u']');
        if (end < 0 || !ParseIpAddress(QStringView(host).mid(1, end - 1)))
            return std::nullopt;
        return host.left(end + 1);
    }
    if (const qsizetype colon = host.indexOf(u':'); colon >= 0)
        host.truncate(colon);
    if (host.isEmpty() || host.size() > 253 ||
        !std::all_of(host.begin(), host.end(), isHostCharacter))
        return std::nullopt;
    return host;
}

QString localHost(const sockaddr_storage& local) {
    const std::optional<IpAddress> address = IpAddressOf(local);
    if (!address)
        return QStringLiteral("localhost");
    return address->isV4() ? address->text()
                           : QLatin1Char('[') + address->text() + QLatin1Char(']');
}

std::optional<QByteArray> targetOf(const QByteArray& request) {
    qsizetype end = request.indexOf("\r\n");
    if (end < 0)
        end = request.size();
    const QByteArray line = request.left(end);
    const qsizetype first = line.indexOf(' ');
    const qsizetype last = line.lastIndexOf(' ');
    if (first < 0 || last <= first + 1)
        return std::nullopt;
    const QByteArray target = line.mid(first + 1, last - first - 1);
    if (!target.startsWith('/') ||
        !std::all_of(target.begin(), target.end(), [](char c) { return c > 0x20 && c < 0x7F; }))
        return std::nullopt;
    return target;
}
} // namespace

std::optional<QByteArray> HttpsLocation(const QByteArray& request,
                                        const std::optional<QString>& hostField,
                                        const sockaddr_storage& local, int httpsPort) {
    const std::optional<QByteArray> target = targetOf(request);
    if (!target)
        return std::nullopt;
    const std::optional<QString> asked = hostField ? hostOf(*hostField) : std::nullopt;
    QString authority = asked ? *asked : localHost(local);
    if (httpsPort != DEFAULT_HTTPS_PORT)
        authority += QLatin1Char(':') + QString::number(httpsPort);
    return QByteArrayLiteral("https://") + authority.toLatin1() + *target;
}

} // namespace server
