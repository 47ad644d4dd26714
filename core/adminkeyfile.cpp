#include "core/adminkeyfile.h"

#include "diagnostics/trace.h"
#include "webappapi/adminkey.h"

#include <QFile>

namespace core {

void WriteAdminKeyFile(const QString& secret) {
    const QString path = qEnvironmentVariable(ADMIN_KEY_FILE_VARIABLE);
    if (path.isEmpty())
        return;
    QFile file(path);
    // Owner-only from its creation on: the key opens the administration page.
    const bool written = file.open(QIODevice::WriteOnly | QIODevice::Truncate,
                                   QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                         file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                         file.write(bridge::AdminKey(secret).toLatin1() + '\n') > 0 && file.flush();
    if (!written)
        diagnostics::WriteTrace(QStringLiteral("The administration key could not be written to ") +
                                path + QStringLiteral(": ") + file.errorString());
}

} // namespace core
