#pragma once

#include "dbsvr/filtersql.h"

#include <QStringList>
#include <optional>

namespace dbsvr {

// A search that a database's full-text index answers: a condition on the table's rows, with
// %1 where the placeholder of text goes.
struct IndexSearch {
    QString condition;
    QString text;
};

// The rows a read takes, as SQL: " FROM ... WHERE ..." with the values of its placeholders
// (1, 2, ...). A search without an index scans at most SCAN_ROWS rows that pass the filters;
// scanCount then counts up to one more of those rows (with scanValues), which tells whether the
// scan stopped early.
struct ReadSource {
    QString from;
    QList<BoundValue> values;
    QString scanCount; // "SELECT count(*) FROM ...", "" when nothing is scanned
    QList<BoundValue> scanValues;
};

// The words of a search (split at white space). Raises InvalidArgument past MAX_SEARCH_WORDS.
QStringList SearchWords(const QString& search);

// Whether a full-text index can answer a search for words: not for a word without a letter or
// a digit (such as "%"), which an index never holds, nor for no word.
bool IndexCanFind(const QStringList& words);

// An SQLite FTS5 query that finds rows holding every word at the start of one of their words:
// each word a quoted phrase (so nothing in it is query syntax) taken as a prefix; "" when the
// index cannot find them.
QString Fts5Query(const QStringList& words);

// The source of read: its filters, and its search through index when there is one, else as a
// scan of the text columns (Text and Untyped) in any letter case, each word somewhere in one
// of them. A scan bounds the rows by the rowid when byRowid (the outer query may then still
// order by it), else in a subquery named as the table. The table is named ROW_ALIAS when read
// has labels. Raises what BuildWhere raises.
ReadSource BuildSource(const TableRead& read, const QList<ColumnDescription>& columns,
                       const SqlDialect& dialect, const std::optional<IndexSearch>& index,
                       bool byRowid);

} // namespace dbsvr
