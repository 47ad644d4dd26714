#include "webapp/auth/sessioncookie.h"

#include <QStringList>
#include <sodium.h>

namespace webapp {

namespace {
constexpr int ID_BYTES = 32;
const QByteArray::Base64Options BASE64URL =
    QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;
} // namespace

QString NewSessionId() {
    if (sodium_init() < 0)
        return {};
    unsigned char random[ID_BYTES];
    randombytes_buf(random, sizeof random);
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(random), sizeof random).toBase64(BASE64URL));
}

QString SessionKey(const QString& id) {
    const QByteArray bytes = QByteArray::fromBase64(id.toLatin1(), BASE64URL);
    // Only what NewSessionId makes is looked up: anything else is no session at all.
    if (bytes.size() != ID_BYTES || bytes.toBase64(BASE64URL) != id.toLatin1())
        return {};
    unsigned char hash[crypto_generichash_BYTES];
    crypto_generichash(hash, sizeof hash, reinterpret_cast<const unsigned char*>(bytes.data()),
                       size_t(bytes.size()), nullptr, 0);
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(hash), sizeof hash).toHex());
}

QString SessionIdFromCookies(const QString& cookieHeader) {
    const QString prefix = QLatin1String(SESSION_COOKIE) + QLatin1Char('=');
    for (const QString& part : cookieHeader.split(QLatin1Char(';'))) {
        const QString cookie = part.trimmed();
        if (cookie.startsWith(prefix))
            return cookie.mid(prefix.size());
    }
    return {};
}

QString SessionCookie(const QString& id, bool secure) {
    QString cookie = QLatin1String(SESSION_COOKIE) + QLatin1Char('=') + id +
                     QStringLiteral("; Path=/; HttpOnly; SameSite=Lax");
    if (id.isEmpty())
        cookie += QStringLiteral("; Max-Age=0");
    if (secure)
        cookie += QStringLiteral("; Secure");
    return cookie;
}

} // namespace webapp
