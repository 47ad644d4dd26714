#include "dbsvr/labelsources.h"

#include "common/error.h"
#include "dbsvr/requesterror.h"

#include <QHash>
#include <algorithm>
#include <optional>

namespace dbsvr {

namespace {

bool hasColumn(const TableDescription& table, const QString& name) {
    return std::any_of(table.columns.begin(), table.columns.end(),
                       [&name](const ColumnDescription& c) { return c.name == name; });
}

std::optional<TableDescription> describeIfThere(Database& database, const QString& table) {
    try {
        return database.describeTable(table);
    } catch (const RequestError&) {
        return std::nullopt; // gone, or one of the server's own tables: no label
    }
}

} // namespace

QList<LabelSource> LabelSources(Database& database, const TableDescription& table,
                                const LabelColumnOf& labelColumnOf) {
    QList<LabelSource> sources;
    QHash<QString, std::optional<TableDescription>> referenced; // each described once
    for (const KeyReference& key : table.foreignKeys) {
        const QString& from = key.columns.first().from;
        const bool labelled =
            std::any_of(sources.begin(), sources.end(),
                        [&from](const LabelSource& s) { return s.column == from; });
        if (key.columns.size() != 1 || labelled || !hasColumn(table, from))
            continue;
        auto it = referenced.find(key.table);
        if (it == referenced.end())
            it = referenced.insert(key.table, describeIfThere(database, key.table));
        if (!*it)
            continue;
        const TableDescription& target = **it;
        const QString label = labelColumnOf(target);
        const QString& to = key.columns.first().to;
        if (!label.isEmpty() && hasColumn(target, label) && hasColumn(target, to))
            sources << LabelSource{from, target.name, to, label};
    }
    return sources;
}

bool IsKeyTable(Database& database, const QString& table) {
    try {
        const std::optional<TableDescription> d = describeIfThere(database, table);
        return d && d->type == QLatin1String("table") &&
               std::count_if(d->columns.begin(), d->columns.end(),
                             [](const ColumnDescription& c) { return c.primaryKey > 0; }) == 1;
    } catch (const common::Error&) {
        return false; // not known now: offered as a plain value
    }
}

QStringList LabelledColumns(const QList<LabelSource>& labels) {
    QStringList columns;
    for (const LabelSource& l : labels)
        columns << l.column;
    return columns;
}

} // namespace dbsvr
