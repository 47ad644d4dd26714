#include "server/requestorigin.h"

#include "diagnostics/trace.h"
#include "server/peeraddress.h"
#include "server/requestparser.h"

#include <QStringDecoder>

namespace server {

namespace {

bool isControl(char32_t c) {
    return c < 0x20 || (c >= 0x7f && c <= 0x9f);
}

// The name a Remote-User line gives, or why it is refused.
struct ProxyUser {
    QString name;
    QString refusal;
};

ProxyUser proxyUserOf(const QList<QByteArray>& lines) {
    if (lines.isEmpty() || (lines.size() == 1 && lines.first().isEmpty()))
        return {};
    // A proxy that adds its line to one the client sent must not let the client choose.
    if (lines.size() > 1)
        return {{}, QStringLiteral("it came on %1 lines").arg(lines.size())};
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString name = utf8.decode(lines.first());
    if (utf8.hasError())
        return {{}, QStringLiteral("it is not UTF-8 text")};
    qsizetype characters = 0;
    for (const char32_t c : name.toUcs4()) {
        if (isControl(c))
            return {{}, QStringLiteral("it holds a control character")};
        ++characters;
    }
    if (characters > MAX_REMOTE_USER)
        return {{}, QStringLiteral("it is longer than %1 characters").arg(MAX_REMOTE_USER)};
    return {name, {}};
}

// The last address of X-Forwarded-For, the one the proxy itself added; nothing when it is no
// IP address.
std::optional<IpAddress> forwardedFor(const QList<QByteArray>& lines) {
    if (lines.isEmpty())
        return std::nullopt;
    const QByteArray& last = lines.last();
    const QByteArrayView entry = QByteArrayView(last).sliced(last.lastIndexOf(',') + 1).trimmed();
    return ParseIpAddress(QString::fromLatin1(entry));
}

} // namespace

RequestOrigin OriginOf(QByteArrayView request, const ConnectionEnds& ends,
                       const QList<AddressRange>& trustedProxies) {
    RequestOrigin origin;
    origin.ends = ends;
    origin.clientAddress = AddressText(ends.peer);
    const std::optional<IpAddress> peer = IpAddressOf(ends.peer);
    if (!peer)
        return origin;
    if (AnyContains(trustedProxies, *peer)) {
        origin.via = RequestOrigin::Via::TrustedProxy;
        if (const auto client = forwardedFor(HeaderValues(request, "X-Forwarded-For")))
            origin.clientAddress = client->text();
        const ProxyUser user = proxyUserOf(HeaderValues(request, "Remote-User"));
        origin.proxyUser = user.name;
        if (!user.refusal.isEmpty())
            diagnostics::WriteTrace(QStringLiteral("[%1] Remote-User of a trusted proxy not "
                                                   "taken, %2: the user is anonymous")
                                        .arg(AddressText(ends.peer), user.refusal),
                                    diagnostics::Severity::Warning);
    } else if (peer->isLoopback()) {
        origin.via = RequestOrigin::Via::Loopback;
    }
    return origin;
}

} // namespace server
