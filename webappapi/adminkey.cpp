#include "webappapi/adminkey.h"

#include <QCryptographicHash>

namespace bridge {

QString AdminKey(const QString& secret) {
    if (secret.isEmpty())
        return {};
    const QByteArray digest = QCryptographicHash::hash(
        QByteArrayLiteral("admin\n") + secret.toUtf8(), QCryptographicHash::Sha256);
    return QString::fromLatin1(digest.toHex().left(32));
}

} // namespace bridge
