#pragma once

#include "components/replyparts.h"
#include "dbsvr/accountsql.h"
#include "dbsvr/arguments.h"
#include "dbsvr/dataversionsource.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

namespace dbsvr {

class Config;
struct NamedQuery;

// Every table whose name begins so is the server's own (the ledger, the account tables of
// accountsql.h): never listed, described or read for clients, as if it were not there.
inline constexpr char OWN_TABLE_PREFIX[] = "quorvex_";
// The table where the data server notes every write that came with a request
// id, so that a re-sent request is never applied twice.
inline constexpr char LEDGER_TABLE[] = "quorvex_requests";
// How long a ledger entry is kept: far longer than any request may still be sent again.
inline constexpr int LEDGER_MAX_AGE_DAYS = 7;
// The longest request id a client may send.
inline constexpr int MAX_REQUEST_ID = 100;

// Rows per reply when the request gives no Limit, and the most it may ask for.
inline constexpr int DEFAULT_LIMIT = 100;
inline constexpr int MAX_LIMIT = 1000;
// What the values of a page read may come to before it is refused: a reply's limit, less room
// for the markup around them.
inline constexpr qint64 PAGE_VALUE_BYTES = components::MAX_REPLY_BYTES - 64 * 1024;

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
    int primaryKey = 0;                  // position in the primary key, 0 when not part of it
    std::optional<QString> defaultValue; // the declared default expression's text
    std::optional<int> length;           // a declared length (VARCHAR(40)) the database knows
    bool autoIncrement = false;          // a table's column the database fills itself
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

enum class FilterOp {
    Equal,
    NotEqual,
    Less,
    LessOrEqual,
    Greater,
    GreaterOrEqual,
    Contains,
    Empty,   // NULL, or '' in a text column
    NotEmpty // neither
};

struct Filter {
    QString column;
    FilterOp op = FilterOp::Equal;
    QString value;
    bool isNull = false; // only with Equal and NotEqual: IS NULL, IS NOT NULL
};

// Most sort keys one read may have.
inline constexpr int MAX_SORT_KEYS = 4;
// Most rows a search without a full-text index, or the facets of a table, read: beyond them the
// reply says Truncated, so that neither can hold a worker for long.
inline constexpr int64_t SCAN_ROWS = 100000;
// Most words a search may have.
inline constexpr int MAX_SEARCH_WORDS = 16;

// One column a table read or a query's result is sorted by.
struct SortKey {
    QString column; // by its exact name
    bool descending = false;
};

// Where the label of a single-column foreign key's value comes from: the referenced table's
// key column and label column, all names as the schema gives them.
struct LabelSource {
    QString column; // of the table read
    QString table;  // the referenced one
    QString key;
    QString label;
};

struct TableRead {
    QString table;
    // The table is one of the server's own, named by the server itself and never by a client.
    bool ownTable = false;
    QList<Filter> filters; // all of them apply
    QString search;        // words its rows' text columns must all hold; "" for none
    QList<SortKey> order;  // empty for the table's own order
    Paging paging;
    // Each row also gives these labels, one value each after the table's columns (NULL when
    // the referenced row is missing), read with the rows in the same statement.
    QList<LabelSource> labels;
};

// How a read query's result is read: the page, the order (the query's own when empty) and
// whether its rows are counted.
struct QueryRead {
    Paging paging;
    QList<SortKey> orderBy;
    bool total = false;
};

// A BLOB as a page gives it: its size, not its bytes.
struct BlobSize {
    int64_t bytes = 0;
};

// One field of a result: NULL, text, the bytes of a BLOB, or only its size.
using FieldValue = std::variant<std::monostate, QString, QByteArray, BlobSize>;

// Takes the rows of a read one by one as they are read, so that only what it keeps is held.
class RowReceiver {
public:
    virtual ~RowReceiver() = default;
    // Called once, before the first row.
    virtual void columns(const QStringList& names) = 0;
    // False when no further row is wanted: the read ends there. May raise RequestError.
    virtual bool row(QList<FieldValue>&& values) = 0;
};

struct RowPage {
    QStringList columns;
    QList<QList<FieldValue>> rows;
    bool more = false;
    std::optional<int64_t> total; // the rows of the whole table read (after filters) or query
    bool truncated = false;       // a search read SCAN_ROWS rows and stopped there
    // The columns the last values of each row are labels of, one each; the names of those
    // values end columns.
    QStringList labelled;
};

// The distinct values of one column among the rows of a read, with their counts.
struct FacetValue {
    std::optional<QString> value; // none for NULL
    int64_t count = 0;
    std::optional<QString> label; // of a foreign key's value, when labels were asked for
};
struct Facet {
    QString column;
    QList<FacetValue> values; // the most frequent first
};
struct FacetList {
    QList<Facet> facets;
    bool truncated = false; // only the first SCAN_ROWS rows that pass were counted
};
// Most distinct values a facet column may have, and the longest value it may hold.
inline constexpr int MAX_FACET_VALUES = 12;
inline constexpr int MAX_FACET_VALUE_CHARS = 100;

struct WriteResult {
    QString query;
    int64_t changes = 0;
    std::optional<int64_t> lastInsertId; // none when the write inserted no row
    bool duplicate = false; // the request id was in the ledger: this is the first run's result
};

using QueryResult = std::variant<RowPage, WriteResult>;

// The statements of a write that are not a named query (a row's insert, update or delete),
// run through sql inside the write's transaction; gives the rows changed.
using RowWork = std::function<int64_t(AccountSql&)>;

enum class QueryKind { Unknown, Read, Write };

// Refuses to export a query that writes (RequestError InvalidArgument).
[[noreturn]] void FailExportOfWrite(const QString& query);
// Refuses a change to a database that may only be read (common::Error).
[[noreturn]] void RaiseReadOnly();

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
    // For a database on a server whose changes cannot be seen on a file: where its data
    // version comes from (a new connection); nullptr when there is none. Raises common::Error
    // when it cannot be made.
    virtual std::unique_ptr<DataVersionSource> versionSource() const { return nullptr; }
    // False when this object surely changed nothing since the last call, so that a data version
    // read from the server still holds for its reply; clears it. True for a database on a file,
    // whose changes cost nothing to take.
    virtual bool takeChanged() { return true; }
    // True once the database's path no longer names the file that is open (another file was
    // moved over it, or it was removed): this object is to be replaced by a new one.
    virtual bool replaced() const { return false; }
    // True when what was read since the last call may read otherwise without any change to
    // the data (a query or view that reads the clock or draws random numbers); clears it.
    virtual bool takeVolatile() { return false; }

    // Bounds the statements of the request that begins now: once deadline has passed, a
    // statement stops as soon as it can and raises common::Error. An export's own deadline
    // replaces it for the export's statement.
    virtual void limitStatements(const QDeadlineTimer& deadline) = 0;
    // Stops the statement that runs, and makes every later one fail at once, until
    // clearInterrupt(). Safe to call from another thread while this one runs a statement.
    virtual void interrupt() = 0;
    virtual void clearInterrupt() = 0;
    // Deletes the ledger's entries applied more than maxAgeDays ago; nothing without a ledger,
    // or on a database that may only be read.
    virtual void pruneLedger(int maxAgeDays) = 0;

    // The user's tables and views in name order, with their row counts;
    // the database's own tables and the server's own (OWN_TABLE_PREFIX) are left out.
    virtual QList<TableSummary> tables() = 0;
    virtual TableDescription describeTable(const QString& table) = 0;
    // One page of a table: its rows from paging.offset, at most paging.limit, BLOBs as their
    // sizes, with the total of its rows. Raises RequestError ReplyTooLarge when the page's
    // values pass what one reply may hold.
    virtual RowPage readTable(const TableRead& read) = 0;
    // The facets of a read's rows (its filters and search; no order, no paging): for every column
    // but BLOBs and key columns that has at most MAX_FACET_VALUES distinct values, none longer
    // than MAX_FACET_VALUE_CHARS, among the first SCAN_ROWS rows that pass.
    virtual FacetList facets(const TableRead& read) = 0;
    // The rows of a table from paging.offset on, with one statement: at most paging.limit + 1
    // (the one more tells that rows are left), BLOBs whole, each handed to out as it is read;
    // nothing is counted. Raises common::Error when the deadline passes before the rows end.
    virtual void exportTable(const TableRead& read, RowReceiver& out,
                             const QDeadlineTimer& deadline) = 0;

    // Unknown when the query cannot be prepared. Raises common::Error when the judgement was cut
    // short (interrupted, past the deadline, the connection lost): then nothing is judged yet.
    virtual QueryKind queryKind(const NamedQuery& query) = 0;
    // A read gives the rows of read.paging, in read.orderBy's order (the statement wrapped:
    // UnknownColumn for a name that is not one of its result's, InvalidArgument for one that
    // names two), counted with read.total. A write runs in a transaction of its own; with a
    // request id, the ledger is checked and written in that transaction, and
    // an id it holds already gives the recorded result without running again. A write also
    // runs companion (when there is one) in its transaction, the account tables made first.
    virtual QueryResult runQuery(const NamedQuery& query, const QList<Argument>& arguments,
                                 const QueryRead& read, const QString& requestId,
                                 const WriteCompanion& companion) = 0;
    // The rows of a read query as exportTable gives a table's, in read.orderBy's order (nothing
    // is counted). Raises RequestError InvalidArgument for a query that writes, which never
    // runs here.
    virtual void exportQuery(const NamedQuery& query, const QList<Argument>& arguments,
                             const QueryRead& read, RowReceiver& out,
                             const QDeadlineTimer& deadline) = 0;

    // Runs work as runQuery runs a write: in a transaction of its own with the ledger (name is
    // what the ledger notes), the companion after it; LastInsertId as for a named query. A
    // failure of work (also a RequestError) rolls everything back and leaves no ledger entry.
    // SQLite enforces the foreign keys for it (the database's own rules decide what a delete
    // may take along or must refuse), as PostgreSQL always does.
    virtual WriteResult runRowWrite(const QString& name, const QString& requestId,
                                    const WriteCompanion& companion, const RowWork& work) = 0;
    // "column holds what a read gave as the text bound to placeholder", for the WHERE of a
    // change that may only be written over the values the editor saw (column is quoted).
    virtual QString sameAsRead(const ColumnDescription& column, const QString& quoted,
                               const QString& placeholder) const = 0;

    // Runs work in a transaction that writes, the account tables made first when missing;
    // commits once work returns, and rolls everything back when it raises. On a database that
    // may only be read, raises common::Error before anything runs.
    virtual void changeAccounts(const AccountWork& work) = 0;
    // Runs work on the account tables without writing; false, without running it, while they
    // do not exist.
    virtual bool readAccounts(const AccountWork& work) = 0;

protected:
    Database() = default;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;
};

} // namespace dbsvr
