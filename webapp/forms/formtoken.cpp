#include "webapp/forms/formtoken.h"

#include "common/guid.h"

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QRegularExpression>

namespace webapp {

QString NewFormNonce() {
    return common::NewGuidString();
}

QString FormToken(const QString& secret, const QString& formName, const QString& nonce) {
    return QString::fromLatin1(
        QMessageAuthenticationCode::hash((formName + QLatin1Char('\n') + nonce).toUtf8(),
                                         secret.toUtf8(), QCryptographicHash::Sha256)
            .toHex());
}

bool ConstantTimeEquals(const QString& a, const QString& b) {
    const QByteArray x = a.toUtf8();
    const QByteArray y = b.toUtf8();
    if (x.size() != y.size())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < x.size(); ++i)
        diff |= static_cast<unsigned char>(x[i] ^ y[i]);
    return diff == 0;
}

bool IsValidFormToken(const QString& secret, const QString& formName, const QString& nonce,
                      const QString& token) {
    static const QRegularExpression guid(
        QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
    if (secret.isEmpty() || !guid.match(nonce).hasMatch())
        return false;
    return ConstantTimeEquals(token, FormToken(secret, formName, nonce));
}

} // namespace webapp
