#pragma once

#include "dbsvr/arguments.h"
#include "dbsvr/database.h"

#include <QList>
#include <QString>

namespace dbsvr {

// What a column holds, as far as filters and searches care.
enum class ColumnKind {
    Text,    // compared and searched as text
    Untyped, // no declared type (a view's expression): searched as text, values not checked
    Integer, // whole numbers only
    Number,
    Date, // a date, or a date and time
    Blob,
    Other
};

// How one database spells what a ReadTable filter needs.
struct SqlDialect {
    // The text of placeholder number index (from 1).
    QString (*placeholder)(int index);
    // "column matches placeholder" for a case-insensitive substring test.
    QString (*contains)(const QString& column, const QString& placeholder);
    // The value to bind for a comparison with this column.
    BoundValue (*comparisonValue)(const Filter& filter, const ColumnDescription& column);
    // What the column's declared type holds.
    ColumnKind (*kind)(const ColumnDescription& column);
    // "a is not b" where NULL is a value like any other.
    QString notEqual;
};

struct WhereClause {
    QString sql;              // "" without filters, else " WHERE ..."
    QList<BoundValue> values; // for the placeholders firstIndex, firstIndex + 1, ...
};

// The condition of filters, ANDed. Raises RequestError UnknownColumn for a
// column that is not one of columns (names compare exactly), and InvalidArgument naming the
// filter for a value its column's kind cannot hold (text for a number, a malformed date); the
// columns' names are quoted, the values are always bound.
WhereClause BuildWhere(const QString& table, const QList<Filter>& filters,
                       const QList<ColumnDescription>& columns, const SqlDialect& dialect,
                       int firstIndex = 1);

// " ORDER BY a DESC, b" for the sort keys of read's table, each column as OrderColumn names it;
// "" for none. Raises UnknownColumn.
QString OrderSql(const TableRead& read, const QList<SortKey>& order,
                 const QList<ColumnDescription>& columns);

// A name made safe to put into SQL text: double quotes around it, inner
// double quotes doubled. Use only for names already checked against the schema.
QString QuoteIdentifier(const QString& name);

// Raises UnknownColumn unless name is one of columns.
const ColumnDescription& FindColumn(const QList<ColumnDescription>& columns, const QString& table,
                                    const QString& name);

} // namespace dbsvr
