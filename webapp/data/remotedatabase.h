#pragma once

#include "webapp/data/auditentry.h"
#include "webapp/data/dataclient.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace webapp {

struct TableInfo {
    QString name;
    QString type;     // "table" or "view"
    qint64 rows = -1; // -1: not told
};

struct ColumnInfo {
    QString name;
    QString type; // as declared
    bool notNull = false;
    int pk = 0;                          // position in the primary key, 0 when not part of it
    std::optional<QString> defaultValue; // the declared default's text
    std::optional<int> length;           // a declared length the database knows
    bool autoIncrement = false;          // filled by the database when an insert leaves it out
};

// A foreign key seen from one side: from is a column of the referring table, to a column of
// the referenced one; several pairs for a key of several columns.
struct KeyReference {
    QString table;                          // the other table
    QList<QPair<QString, QString>> columns; // (from, to)
};

struct TableSchema {
    QString name;
    QString type;
    QList<ColumnInfo> columns;
    QList<KeyReference> foreignKeys;  // this table's references to others
    QList<KeyReference> referencedBy; // other tables' references to this one
    // The column that stands for a row where other rows point at it; "" when it has none.
    QString labelColumn;

    bool isView() const { return type == QLatin1String(dataserver::protocol::TYPE_VIEW); }
    // The primary key's columns in key order; empty for a view or a table without one.
    QStringList primaryKey() const;
};

struct Cell {
    QString text;
    bool isNull = false;
    bool isBlob = false;  // text is base64: the bytes in an export, "" on a page
    qint64 blobBytes = 0; // a BLOB's size
    // What the row a foreign key's value refers to is called (TableRead::labels); none for
    // other values, a NULL key, a row not there or without a label.
    std::optional<QString> label = std::nullopt;
};

struct RowSet {
    QStringList columns;
    QList<QList<Cell>> rows;
    qint64 offset = 0;
    bool more = false;
    qint64 total = -1;      // -1: not counted (a query's unless asked)
    bool truncated = false; // a search stopped after the rows a scan may read

    qsizetype column(const QString& name) const { return columns.indexOf(name); }
};

struct Filter {
    QString column;
    QString op; // eq, ne, lt, le, gt, ge, contains, empty, notempty
    QString value;
};

// A column a table read or a query's result is sorted by.
struct SortKey {
    QString column;
    bool descending = false;
};

struct TableRead {
    QString table;
    qint64 offset = 0;
    int limit = 25;
    QList<SortKey> orderBy; // the first key first; the table's own order when empty
    QList<Filter> filters;
    QString search;      // words the rows' text must hold
    bool labels = false; // each single-column foreign key's value with its row's label
};

// What dataserver.xml gives people to read about a query or a parameter (see QueryTitle).
struct DisplayTexts {
    QString title;
    QString description;
    QString label; // a label id of the language files
};

// The values of a column among the rows of a read, with their counts.
struct FacetValue {
    QString value;
    bool isNull = false;
    qint64 count = 0;
    QString label; // of a foreign key's value (TableRead::labels), "" when it has none
};
struct Facet {
    QString column;
    QList<FacetValue> values;
};

struct QueryParameter {
    QString name;
    QString type;  // text, integer, real
    QString table; // whose primary key the values are, "" when they come from no table
    DisplayTexts texts;
};

// A result column whose values are keys of a table's rows.
struct ResultLink {
    QString column;
    QString table;
};

struct QueryInfo {
    QString name;
    QList<QueryParameter> parameters;
    QString kind; // "read", "write", or "" when the data server does not say
    DisplayTexts texts;
    bool choicesOnly = false; // use="choices": only the forms' choices, never listed
    QList<ResultLink> links;

    bool writes() const { return kind == QLatin1String(dataserver::protocol::KIND_WRITE); }
};

struct QueryRun {
    QString name;
    QList<QPair<QString, std::optional<QString>>> arguments; // nullopt binds NULL
    qint64 offset = 0;
    int limit = 25;
    QList<SortKey> orderBy; // reads: the query's own order when empty
    bool total = false;     // reads: count the rows (RowSet::total)
    QString requestId;      // writes: applied once per id
    // Writes: noted in the audit trail with the write, once per request id.
    std::optional<AuditEntry> audit;
};

struct WriteResult {
    qint64 changes = 0;
    qint64 lastInsertId = 0;
    bool duplicate = false; // the id was applied before; this is the first reply again
};

// The data server's messages, typed. Every call raises DataUnavailable or DataFailure as
// DataClient does.
class RemoteDatabase final {
public:
    // Most rows one reply may hold.
    static constexpr int MAX_LIMIT = 1000;

    explicit RemoteDatabase(DataClient client) : m_client(std::move(client)) {}

    // The round-trip time in milliseconds and the data server's message.
    std::pair<double, QString> ping() const;
    QList<TableInfo> listTables() const;
    TableSchema describeTable(const QString& table) const;
    RowSet readTable(const TableRead& read) const;
    // The facets of the rows a read's filters and search leave (its order and paging ignored).
    QList<Facet> facets(const TableRead& read) const;
    QList<QueryInfo> listQueries() const;
    std::optional<QueryInfo> findQuery(const QString& name) const;
    RowSet query(const QueryRun& run) const;
    WriteResult write(const QueryRun& run) const;

    // Every row of a table read (its filters and order; from its offset, at most
    // components::MAX_EXPORT_ROWS) or of a read query, BLOBs with their bytes, handed to part()
    // a part at a time as the data server reads them; the last part's more tells that rows were
    // left out. The data server stops an export that takes longer than its time limit
    // (DataFailure TimeLimit).
    void exportTable(const TableRead& read, const std::function<void(const RowSet&)>& part) const;
    void exportQuery(const QueryRun& run, const std::function<void(const RowSet&)>& part) const;

    // The client its messages go through, for the typed clients of other messages
    // (webapp/data/accountstore.h).
    const DataClient& client() const { return m_client; }

private:
    DataClient m_client;
};

} // namespace webapp
