#include "dbsvr/labelcolumn.h"

#include "dbsvr/config.h"
#include "dbsvr/database.h"

namespace dbsvr {

bool IsTextType(const QString& declared) {
    const QString type = declared.toUpper();
    if (type.contains(QLatin1String("INT")))
        return false;
    for (const char* word : {"CHAR", "CLOB", "TEXT"})
        if (type.contains(QLatin1String(word)))
            return true;
    return false;
}

QString LabelColumn(const TableDescription& table, const Config& config) {
    // A configured name that the table lacks (a column renamed since) falls back to the rule
    // rather than labelling nothing.
    const QString configured = config.labelColumn(table.name);
    for (const ColumnDescription& c : table.columns)
        if (c.name == configured)
            return c.name;
    for (const ColumnDescription& c : table.columns)
        if (IsTextType(c.type))
            return c.name;
    return {};
}

} // namespace dbsvr
