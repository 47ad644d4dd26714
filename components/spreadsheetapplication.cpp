#include "components/spreadsheetapplication.h"

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

} // namespace components
