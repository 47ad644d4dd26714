#pragma once

#include "dbsvr/arguments.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>
#include <variant>

namespace dbsvr {

class Config;
struct NamedQuery;

// The table where the data server notes every write that came with a request
// id, so that a re-sent request is never applied twice. It is the server's
// own: never listed, described or read for clients.
inline constexpr char LEDGER_TABLE[] = "quorvex_requests";
// The longest request id a client may send.
inline constexpr int MAX_REQUEST_ID = 100;

// Rows per reply when the request gives no Limit, and the most it may ask for.
inline constexpr int DEFAULT_LIMIT = 100;
inline constexpr int MAX_LIMIT = 1000;

struct Paging {
    int64_t offset = 0;
    int64_t limit = DEFAULT_LIMIT;
};

struct TableSummary {
    QString name;
    QString type;                // "table" or "view"
    std::optional<int64_t> rows; // none when counting failed (a view over a table that has gone)
};

struct ColumnDescription {
    QString name;
    QString type; // as the table declares it
    bool notNull = false;
    int primaryKey = 0; // position in the primary key, 0 when not part of it
};

// One column pair of a foreign key.
struct ColumnMap {
    QString from;
    QString to;
};

// A foreign key, seen from either end: the other table and the column pairs
// in key order.
struct KeyReference {
    QString table;
    QList<ColumnMap> columns;
};

struct TableDescription {
    QString name;
    QString type;
    QList<ColumnDescription> columns;
    QList<KeyReference> foreignKeys;  // from: this table's column; to: the other's
    QList<KeyReference> referencedBy; // from: the other table's column; to: this one's
};

enum class FilterOp { Equal, NotEqual, Less, LessOrEqual, Greater, GreaterOrEqual, Contains };

struct Filter {
    QString column;
    FilterOp op = FilterOp::Equal;
    QString value;
    bool isNull = false; // only with Equal and NotEqual: IS NULL, IS NOT NULL
};

struct TableRead {
    QString table;
    QList<Filter> filters; // all of them apply
    QString orderBy;       // a column, or "" for the table's own order
    bool descending = false;
    Paging paging;
};

// One field of a result: NULL, text, or the bytes of a BLOB.
using FieldValue = std::variant<std::monostate, QString, QByteArray>;

struct RowPage {
    QStringList columns;
    QList<QList<FieldValue>> rows;
    bool more = false;
    std::optional<int64_t> total; // the rows of the whole table read, after filters
};

struct WriteResult {
    QString query;
    int64_t changes = 0;
    std::optional<int64_t> lastInsertId; // none when the write inserted no row
    bool duplicate = false; // the request id was in the ledger: this is the first run's result
};

using QueryResult = std::variant<RowPage, WriteResult>;

enum class QueryKind { Unknown, Read, Write };

// An open database, as the message handler uses it. Requests that name what
// does not exist raise RequestError (UnknownTable, UnknownColumn, the
// parameter errors); the database's own failures raise common::Error with its
// own text.
class Database {
public:
    // Opens an existing SQLite file, read-write when the file allows it and
    // read-only otherwise; never creates one, so a wrong path is an error and
    // not a new empty database. Also fails for a file that is not an SQLite
    // database.
    static std::unique_ptr<Database> Open(const QString& path);
    // Opens the database the configuration names: its SQLite file, or a
    // connection to its PostgreSQL server. Raises common::Error when it cannot.
    static std::unique_ptr<Database> Connect(const Config& config);

    virtual ~Database() = default;

    // What the ping tells about the database: where it is, and read-only.
    virtual QString description() const = 0;
    // True once the connection to a database server has broken: this object
    // serves no more requests and is to be replaced by a new connection.
    virtual bool connectionLost() const { return false; }
    // The local file that holds all the data, so that a change by anyone can be seen on it;
    // "" when changes cannot be seen that way (a database on a server).
    virtual QString dataFile() const { return {}; }
    // True once the database's path no longer names the file that is open (another file was
    // moved over it, or it was removed): this object is to be replaced by a new one.
    virtual bool replaced() const { return false; }
    // True when what was read since the last call may read otherwise without any change to
    // the data (a query or view that reads the clock or draws random numbers); clears it.
    virtual bool takeVolatile() { return false; }

    // The user's tables and views in name order, with their row counts;
    // the database's own tables and the ledger are left out.
    virtual QList<TableSummary> tables() = 0;
    virtual TableDescription describeTable(const QString& table) = 0;
    virtual RowPage readTable(const TableRead& read) = 0;

    // Unknown when the query cannot be prepared.
    virtual QueryKind queryKind(const NamedQuery& query) = 0;
    // A read gives rows. A write runs in a transaction of its own; with a
    // request id, the ledger is checked and written in that transaction, and
    // an id it holds already gives the recorded result without running again.
    virtual QueryResult runQuery(const NamedQuery& query, const QList<Argument>& arguments,
                                 const Paging& paging, const QString& requestId) = 0;

protected:
    Database() = default;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;
};

} // namespace dbsvr
