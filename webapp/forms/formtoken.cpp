#include "webapp/forms/formtoken.h"

#include "common/guid.h"

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QRegularExpression>

namespace webapp {

QString NewFormNonce() {
    return common::NewGuidString();
}

bool IsFormNonce(const QString& nonce) {
    static const QRegularExpression guid(
        QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
    return guid.match(nonce).hasMatch();
}

QString FormToken(const QString& secret, const QString& formName, const QString& nonce,
                  const QString& binding) {
    // Without a binding the text is what it always was, so tokens of anonymous forms keep.
    QString text = formName + QLatin1Char('\n') + nonce;
    if (!binding.isEmpty())
        text += QLatin1Char('\n') + binding;
    return QString::fromLatin1(
        QMessageAuthenticationCode::hash(text.toUtf8(), secret.toUtf8(), QCryptographicHash::Sha256)
            .toHex());
}

QString ActionToken(const QString& secret, const QString& action, const QString& binding) {
    return FormToken(secret, QStringLiteral("action:") + action, binding);
}

bool IsValidActionToken(const QString& secret, const QString& action, const QString& binding,
                        const QString& token) {
    return !secret.isEmpty() && !token.isEmpty() &&
           ConstantTimeEquals(token, ActionToken(secret, action, binding));
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
                      const QString& token, const QString& binding) {
    if (secret.isEmpty() || !IsFormNonce(nonce))
        return false;
    return ConstantTimeEquals(token, FormToken(secret, formName, nonce, binding));
}

} // namespace webapp
