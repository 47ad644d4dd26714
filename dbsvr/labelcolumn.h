#pragma once

#include <QString>

namespace dbsvr {

class Config;
struct TableDescription;

// Whether a declared column type holds text: SQLite's rule for text affinity (CHAR, CLOB or
// TEXT and no INT), which reads PostgreSQL's text, character and character varying alike.
bool IsTextType(const QString& declared);

// The column that stands for a row of the table where another row points at it: the one the
// configuration names for the table when the table has it, else its first text column; ""
// when it has none.
QString LabelColumn(const TableDescription& table, const Config& config);

} // namespace dbsvr
