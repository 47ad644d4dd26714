#pragma once

#include "dbsvr/database.h"

#include <QString>

namespace dbsvr {

// The SQL that reads the labels of a table read's foreign keys with its rows, in the same
// statement. The table read is named ROW_ALIAS and each referenced table an alias of its own
// (qv_label1, qv_label2, ...); since every table in it has an alias, no user's name can stand
// for another table. All names must have been checked against the schema.

inline constexpr char ROW_ALIAS[] = "qv_row";

// " AS qv_row" when read asks for labels, else "" (the statement stays as without labels).
QString RowAlias(const TableRead& read);

// A column of the table read as ORDER BY names it: qualified when labels are read, so that it
// never means a label's result column of the same name (PostgreSQL looks at those first).
QString OrderColumn(const TableRead& read, const QString& column);

// ", (SELECT qv_label1."name" FROM "products" AS qv_label1 WHERE qv_label1."id" =
// qv_row."product_id" LIMIT 1), ..." for the end of the select list: one value per label,
// NULL where no row is referenced. A subquery rather than a join, so a key that is not unique
// can neither repeat a row nor change the total.
QString LabelSelectList(const QList<LabelSource>& labels);

// The subquery of one label, as in LabelSelectList, its referenced table named alias and the
// key read from rowAlias.column.
QString LabelSubquery(const LabelSource& label, const QString& alias, const QString& rowAlias);

} // namespace dbsvr
