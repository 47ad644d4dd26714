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
    int pk = 0; // position in the primary key, 0 when not part of it
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
};

struct RowSet {
    QStringList columns;
    QList<QList<Cell>> rows;
    qint64 offset = 0;
    bool more = false;
    qint64 total = -1;      // tables only
    bool truncated = false; // a search stopped after the rows a scan may read

    qsizetype column(const QString& name) const { return columns.indexOf(name); }
};

struct Filter {
    QString column;
    QString op; // eq, ne, lt, le, gt, ge, contains, empty, notempty
    QString value;
};

struct SortKey {
    QString column;
    bool descending = false;
};

struct TableRead {
    QString table;
    qint64 offset = 0;
    int limit = 25;
    QString orderBy; // the first sort key
    bool descending = false;
    QList<SortKey> thenBy; // the sort keys after it
    QList<Filter> filters;
    QString search; // words the rows' text must hold
};

// The values of a column among the rows of a read, with their counts.
struct FacetValue {
    QString value;
    bool isNull = false;
    qint64 count = 0;
};
struct Facet {
    QString column;
    QList<FacetValue> values;
};

struct QueryParameter {
    QString name;
    QString type; // text, integer, real
};

struct QueryInfo {
    QString name;
    QList<QueryParameter> parameters;
    QString kind; // "read", "write", or "" when the data server does not say

    bool writes() const { return kind == QLatin1String(dataserver::protocol::KIND_WRITE); }
};

struct QueryRun {
    QString name;
    QList<QPair<QString, std::optional<QString>>> arguments; // nullopt binds NULL
    qint64 offset = 0;
    int limit = 25;
    QString requestId; // writes: applied once per id
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
