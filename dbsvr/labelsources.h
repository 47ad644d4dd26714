#pragma once

#include "dbsvr/database.h"

#include <functional>

namespace dbsvr {

// The label column of a described table, "" when it has none.
using LabelColumnOf = std::function<QString(const TableDescription&)>;

// Where the labels of table's single-column foreign keys come from: for each key whose
// referenced table can be read and has a label column, that table's key and label column. A
// key over several columns, or to a table that is not there or is the server's own, gets none.
// Every name is checked against the schema.
QList<LabelSource> LabelSources(Database& database, const TableDescription& table,
                                const LabelColumnOf& labelColumnOf);

// Whether table can be read and has a primary key of one column, whose values a query
// parameter may then offer as choices.
bool IsKeyTable(Database& database, const QString& table);

// The columns labels are for, in their order (RowPage::labelled).
QStringList LabelledColumns(const QList<LabelSource>& labels);

} // namespace dbsvr
