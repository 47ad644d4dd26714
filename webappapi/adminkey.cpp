#include "webappapi/adminkey.h"

#include <QCryptographicHash>

namespace bridge {

namespace {
QString derivedKey(const QByteArray& purpose, const QString& secret) {
    if (secret.isEmpty())
        return {};
    const QByteArray digest =
        QCryptographicHash::hash(purpose + '\n' + secret.toUtf8(), QCryptographicHash::Sha256);
    return QString::fromLatin1(digest.toHex().left(32));
}
} // namespace

QString AdminKey(const QString& secret) {
    return derivedKey(QByteArrayLiteral("admin"), secret);
}

QString SetupKey(const QString& secret) {
    return derivedKey(QByteArrayLiteral("setup"), secret);
}

} // namespace bridge
