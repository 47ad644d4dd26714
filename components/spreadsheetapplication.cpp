#include "components/spreadsheetapplication.h"

#include <QStandardPaths>

namespace components {

namespace {
constexpr int OLDEST_VERSION = 9;
constexpr int NEWEST_VERSION = 15;
} // namespace

QStringList SpreadsheetApplication::classNames() {
    QStringList names{QStringLiteral("Excel.Application")};
    for (int v = OLDEST_VERSION; v <= NEWEST_VERSION; ++v)
        names.append(QStringLiteral("Excel.Application.%1").arg(v));
    return names;
}

QString SpreadsheetApplication::findProgram() {
    for (const QString& name : {QStringLiteral("soffice"), QStringLiteral("libreoffice")}) {
        const QString path = QStandardPaths::findExecutable(name);
        if (!path.isEmpty())
            return path;
    }
    return {};
}

} // namespace components
