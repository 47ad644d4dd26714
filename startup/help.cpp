#include "startup/help.h"

#include "common/version.h"

namespace startup {

QString HelpAddress(int port, const QString& context) {
    return QStringLiteral("http://localhost:") + QString::number(port) +
           QStringLiteral("/fn/?productid=") + QLatin1String(PRODUCT_ID) +
           QStringLiteral("&version=") + common::VersionText() +
           QStringLiteral("&fn=help&context=") + context;
}

} // namespace startup
