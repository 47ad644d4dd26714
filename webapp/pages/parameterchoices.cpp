#include "webapp/pages/parameterchoices.h"

namespace webapp {

std::optional<QList<FieldChoice>> ParameterChoices(const RemoteDatabase& database,
                                                   const QueryParameter& parameter) {
    if (parameter.table.isEmpty())
        return std::nullopt;
    return TableKeyChoices(database, parameter.table);
}

std::optional<QList<FieldChoice>> TableKeyChoices(const RemoteDatabase& database,
                                                  const QString& table) {
    TableSchema schema;
    RowSet rows;
    try {
        schema = database.describeTable(table);
        if (schema.primaryKey().size() != 1)
            return std::nullopt;
        TableRead read;
        read.table = schema.name;
        read.limit = MAX_PARAMETER_CHOICES;
        read.orderBy = {
            {schema.labelColumn.isEmpty() ? schema.primaryKey().first() : schema.labelColumn}};
        rows = database.readTable(read);
    } catch (const DataFailure&) {
        return std::nullopt; // the table changed since it was named: a plain input
    }
    if (rows.more)
        return std::nullopt;
    const QStringList key = schema.primaryKey();
    const qsizetype value = rows.column(key.first());
    const qsizetype label = rows.column(schema.labelColumn);
    QList<FieldChoice> choices;
    for (const QList<Cell>& row : rows.rows) {
        if (value < 0 || row[value].isNull)
            continue;
        const bool named = label >= 0 && !row[label].isNull && !row[label].isBlob;
        choices.append({row[value].text, named ? row[label].text : row[value].text});
    }
    return choices;
}

} // namespace webapp
