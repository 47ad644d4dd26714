#include "dbsvr/sqlitedatabase.h"

#include "common/error.h"
#include "dbsvr/config.h"
#include "dbsvr/facets.h"
#include "dbsvr/filtersql.h"
#include "dbsvr/labelsql.h"
#include "dbsvr/pagerows.h"
#include "dbsvr/querysql.h"
#include "dbsvr/requesterror.h"
#include "dbsvr/sqliteaccountsql.h"
#include "dbsvr/sqlitewrite.h"
#include "dbsvr/statement.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <cmath>
#include <functional>
#include <sqlite3.h>
#include <sys/stat.h>

namespace dbsvr {

namespace {

// The length a text column declares (VARCHAR(40), NCHAR(10), TEXT(200)); SQLite keeps only
// the declaration and never enforces it, so that is all there is to know.
std::optional<int> declaredLength(const QString& type) {
    static const QRegularExpression LENGTH(
        QStringLiteral("(CHAR|CLOB|TEXT)[A-Z ]*\\(\\s*([0-9]{1,9})\\s*\\)\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = LENGTH.match(type);
    if (!m.hasMatch())
        return std::nullopt;
    return m.captured(2).toInt();
}

// Virtual machine steps between looks at the deadline and the interrupt.
constexpr int PROGRESS_STEPS = 10000;

// The user's tables and views: neither SQLite's own nor the server's, nor a full-text index
// (a virtual table "<table>_fts") and the tables that keep it. LIKE ignores the case of ASCII
// letters, as SQLite's names do.
const QString USER_TABLES =
    QStringLiteral("type IN ('table','view') AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
                   "AND name NOT LIKE '%1%' ESCAPE '\\' "
                   "AND NOT (name LIKE '%\\_fts' ESCAPE '\\' AND sql LIKE 'CREATE VIRTUAL%') "
                   "AND name NOT IN (SELECT name FROM pragma_table_list WHERE type = 'shadow')")
        .arg(QString::fromLatin1(OWN_TABLE_PREFIX)
                 .replace(QLatin1String("_"), QLatin1String("\\_")));

// Case folding for "contains": SQLite's own lower() knows only ASCII.
void foldCase(sqlite3_context* context, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const QByteArray folded =
        QString::fromUtf8(text, sqlite3_value_bytes(argv[0])).toCaseFolded().toUtf8();
    sqlite3_result_text64(context, folded.constData(), sqlite3_uint64(folded.size()),
                          SQLITE_TRANSIENT, SQLITE_UTF8);
}

QString placeholder(int index) {
    return QLatin1Char('?') + QString::number(index);
}

QString contains(const QString& column, const QString& value) {
    return QStringLiteral("instr(qv_fold(") + column + QStringLiteral("), qv_fold(") + value +
           QStringLiteral(")) > 0");
}

// SQLite's rule for the affinity of a declared type: only a column without
// one (no type, BLOB, or an expression of a view) compares a bound text with
// its numbers as text. There a value that reads as a number is bound as one,
// so that "5" finds 5 in every column, as it does in a typed one.
bool hasNoAffinity(const QString& declared) {
    const QString type = declared.toUpper();
    for (const char* word : {"INT", "CHAR", "CLOB", "TEXT"})
        if (type.contains(QLatin1String(word)))
            return false;
    return type.isEmpty() || type.contains(QLatin1String("BLOB"));
}

BoundValue comparisonValue(const Filter& filter, const ColumnDescription& column) {
    if (hasNoAffinity(column.type)) {
        bool ok = false;
        const qlonglong integer = filter.value.trimmed().toLongLong(&ok);
        if (ok)
            return int64_t(integer);
        const double real = filter.value.trimmed().toDouble(&ok);
        if (ok && std::isfinite(real))
            return real;
    }
    return filter.value;
}

// SQLite's affinity rules, with a date for the numeric types that name one.
ColumnKind kind(const ColumnDescription& column) {
    const QString type = column.type.toUpper();
    const auto has = [&type](const char* word) { return type.contains(QLatin1String(word)); };
    if (has("INT"))
        return ColumnKind::Number; // a REAL compares with an INTEGER column as well
    if (has("CHAR") || has("CLOB") || has("TEXT"))
        return ColumnKind::Text;
    if (type.isEmpty())
        return ColumnKind::Untyped;
    if (has("BLOB"))
        return ColumnKind::Blob;
    if (has("DATE") || has("TIME"))
        return ColumnKind::Date;
    return ColumnKind::Number;
}

const SqlDialect SQLITE_DIALECT{placeholder, contains, comparisonValue, kind,
                                QStringLiteral("IS NOT")};

// Hands the rows of s to out, after skipping skip of them, until they end, maxRows went, or
// out wants no more.
// The rows are named columns when given, else as s names them.
void streamRows(Statement& s, int64_t skip, int64_t maxRows, bool blobData, RowReceiver& out,
                const std::optional<QStringList>& columns = std::nullopt) {
    out.columns(columns ? *columns : s.columnNames());
    for (int64_t i = 0; i < skip; ++i)
        if (!s.step())
            return;
    for (int64_t n = 0; n < maxRows && s.step(); ++n) {
        QList<FieldValue> row;
        row.reserve(s.columnCount());
        for (int i = 0; i < s.columnCount(); ++i)
            row << s.field(i, blobData);
        if (!out.row(std::move(row)))
            return;
    }
}

RowPage readPage(Statement& s, const Paging& paging) {
    PageRows rows(paging.limit);
    streamRows(s, paging.offset, paging.limit + 1, false, rows);
    return std::move(rows.page());
}

// A statement of a named query's, its arguments bound.
Statement boundStatement(sqlite3* db, const NamedQuery& query, const QString& sql,
                         const QList<Argument>& arguments) {
    Statement s(db, sql);
    s.bindAll(BindArguments(query, s.parameterNames(), arguments));
    return s;
}

// The rows of the read query prepared as inner, from paging.offset on, at most maxRows, in
// orderBy's order (the query's own when empty). The result keeps inner's column names: SQLite
// would make names that a result holds twice unique in the wrapping statement.
void streamQuery(sqlite3* db, const NamedQuery& query, const QList<Argument>& arguments,
                 Statement& inner, const QList<SortKey>& orderBy, const Paging& paging,
                 int64_t maxRows, bool blobData, RowReceiver& out) {
    if (orderBy.isEmpty()) {
        streamRows(inner, paging.offset, maxRows, blobData, out);
        return;
    }
    const QStringList columns = inner.columnNames();
    Statement ordered =
        boundStatement(db, query, OrderedSql(query.sql, columns, orderBy), arguments);
    streamRows(ordered, paging.offset, maxRows, blobData, out, columns);
}

// Puts another deadline in place of one for as long as it lives.
class DeadlineSwap final {
public:
    DeadlineSwap(QDeadlineTimer& deadline, const QDeadlineTimer& instead)
        : m_deadline(deadline), m_saved(std::exchange(deadline, instead)) {}
    ~DeadlineSwap() { m_deadline = m_saved; }
    DeadlineSwap(const DeadlineSwap&) = delete;
    DeadlineSwap& operator=(const DeadlineSwap&) = delete;

private:
    QDeadlineTimer& m_deadline;
    QDeadlineTimer m_saved;
};

// Notes, while statements are prepared, whether one calls a function whose result does not
// follow from the data alone: the clock, random numbers, the connection's last changes.
class VolatileFunctionWatch final {
public:
    // Sets seen when a statement prepared while this lives calls such a function.
    VolatileFunctionWatch(sqlite3* db, bool& seen) : m_db(db), m_seen(seen) {
        sqlite3_set_authorizer(m_db, &VolatileFunctionWatch::authorize, this);
    }
    ~VolatileFunctionWatch() { sqlite3_set_authorizer(m_db, nullptr, nullptr); }
    VolatileFunctionWatch(const VolatileFunctionWatch&) = delete;
    VolatileFunctionWatch& operator=(const VolatileFunctionWatch&) = delete;

private:
    static int authorize(void* self, int action, const char*, const char* function, const char*,
                         const char*) {
        // The date and time functions count even with fixed arguments: telling those apart
        // from 'now' is not worth a wrong page.
        static const QSet<QByteArray> names = {
            "random",   "randomblob", "changes",      "total_changes", "last_insert_rowid",
            "date",     "time",       "datetime",     "julianday",     "unixepoch",
            "strftime", "timediff",   "current_date", "current_time",  "current_timestamp"};
        if (action == SQLITE_FUNCTION && function && names.contains(QByteArray(function).toLower()))
            static_cast<VolatileFunctionWatch*>(self)->m_seen = true;
        return SQLITE_OK;
    }

    sqlite3* m_db;
    bool& m_seen;
};

// WAL lets readers go on while a writer writes. A reader of a WAL file needs to write the
// "-shm" beside it, so a file that others may read but not write keeps its journal mode, and
// so does a file whose folder does not allow those files (SQLite then refuses the change).
void useWal(sqlite3* db, const QString& path) {
    struct stat file {};
    if (::stat(QFile::encodeName(path).constData(), &file) != 0 ||
        ((file.st_mode & S_IRGRP) && !(file.st_mode & S_IWGRP)) ||
        ((file.st_mode & S_IROTH) && !(file.st_mode & S_IWOTH)))
        return;
    try {
        Statement(db, QStringLiteral("PRAGMA journal_mode = WAL")).step();
    } catch (const common::Error&) {
    }
}

// The number the statement sql gives.
int64_t countOf(sqlite3* db, const QString& sql, const QList<BoundValue>& values) {
    Statement s(db, sql);
    s.bindAll(values);
    s.step();
    return s.columnInteger(0);
}

int64_t count(sqlite3* db, const QString& from, const QList<BoundValue>& values = {}) {
    return countOf(db, QStringLiteral("SELECT count(*)") + from, values);
}

} // namespace

std::unique_ptr<SqliteDatabase> SqliteDatabase::Open(const QString& path) {
    if (path.isEmpty())
        throw common::Error(SQLITE_CANTOPEN, QStringLiteral("No database file is set."));
    sqlite3* db = nullptr;
    // Without SQLITE_OPEN_CREATE a wrong path fails instead of making an empty
    // database; a write-protected file opens read-only.
    const int code =
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (code != SQLITE_OK) {
        sqlite3_close(db);
        throw common::Error(code, QStringLiteral("Unable to open the database ") + path +
                                      QStringLiteral(". ") +
                                      QString::fromUtf8(sqlite3_errstr(code)));
    }
    std::unique_ptr<SqliteDatabase> database(
        new SqliteDatabase(db, path, sqlite3_db_readonly(db, "main") == 1));
    sqlite3_busy_timeout(db, BUSY_TIMEOUT_MS);
    // Also while a statement sorts before its first row.
    sqlite3_progress_handler(db, PROGRESS_STEPS, &SqliteDatabase::stopCheck, database.get());
    sqlite3_create_function_v2(db, "qv_fold", 1,
                               SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                               foldCase, nullptr, nullptr, nullptr);
    try {
        // SQLite opens lazily: reading the schema is what tells a database
        // from any other file.
        count(db, QStringLiteral(" FROM sqlite_master"));
        if (!database->m_readOnly) {
            ExecSqlite(db, "PRAGMA synchronous = FULL");
            useWal(db, path);
        }
    } catch (const common::Error& e) {
        throw e.wrapped(QStringLiteral("Unable to open the database ") + path +
                        QStringLiteral(". "));
    }
    return database;
}

SqliteDatabase::SqliteDatabase(sqlite3* db, QString path, bool readOnly)
    : m_db(db), m_path(std::move(path)), m_readOnly(readOnly), m_file(fileIdentity()) {}

std::optional<std::pair<dev_t, ino_t>> SqliteDatabase::fileIdentity() const {
    struct stat file {};
    if (::stat(QFile::encodeName(m_path).constData(), &file) != 0)
        return std::nullopt;
    return std::make_pair(file.st_dev, file.st_ino);
}

bool SqliteDatabase::replaced() const {
    // An open file stays readable after it was replaced or removed, and SQLite refuses to write
    // into it: only the path tells what the database is now.
    return fileIdentity() != m_file;
}

SqliteDatabase::~SqliteDatabase() {
    sqlite3_close_v2(m_db);
}

QString SqliteDatabase::description() const {
    return m_path + (m_readOnly ? QStringLiteral(" (read-only)") : QString());
}

QList<TableSummary> SqliteDatabase::tables() {
    const VolatileFunctionWatch watch(m_db, m_volatile); // a view's count may follow the clock
    Statement s(m_db, QStringLiteral("SELECT name, type FROM sqlite_master WHERE ") + USER_TABLES +
                          QStringLiteral(" ORDER BY name"));
    QList<TableSummary> tables;
    while (s.step()) {
        TableSummary table{s.columnText(0), s.columnText(1), {}};
        try {
            table.rows = count(m_db, QStringLiteral(" FROM ") + QuoteIdentifier(table.name));
        } catch (const common::Error&) {
            // A view over a table that has gone: listed, without a count.
        }
        tables << table;
    }
    return tables;
}

QString SqliteDatabase::tableType(const QString& name, bool own) const {
    // Bound, never spliced: the name is the client's text.
    Statement s(m_db, QStringLiteral("SELECT type FROM sqlite_master WHERE ") +
                          (own ? QStringLiteral("type = 'table'") : USER_TABLES) +
                          QStringLiteral(" AND name = ?1"));
    s.bindText(1, name);
    return s.step() ? s.columnText(0) : QString();
}

QString SqliteDatabase::checkedTableType(const QString& name, bool own) const {
    const QString type = tableType(name, own);
    if (type.isEmpty())
        Fail(ERROR_UNKNOWN_TABLE,
             QStringLiteral("There is no table \"") + name + QStringLiteral("\"."));
    return type;
}

QList<ColumnDescription> SqliteDatabase::columns(const QString& table) const {
    // Hidden columns of virtual tables are not part of SELECT *, generated ones are.
    Statement s(m_db, QStringLiteral("SELECT name, type, \"notnull\", pk, dflt_value FROM "
                                     "pragma_table_xinfo(?1) WHERE hidden <> 1 ORDER BY cid"));
    s.bindText(1, table);
    QList<ColumnDescription> columns;
    while (s.step()) {
        ColumnDescription column{s.columnText(0),
                                 s.columnText(1),
                                 s.columnInteger(2) != 0,
                                 int(s.columnInteger(3)),
                                 {},
                                 {},
                                 false};
        if (!s.columnIsNull(4))
            column.defaultValue = s.columnText(4);
        column.length = declaredLength(column.type);
        columns << column;
    }
    return columns;
}

QStringList SqliteDatabase::primaryKey(const QString& table) const {
    Statement s(m_db,
                QStringLiteral("SELECT name FROM pragma_table_info(?1) WHERE pk > 0 ORDER BY pk"));
    s.bindText(1, table);
    QStringList names;
    while (s.step())
        names << s.columnText(0);
    return names;
}

namespace {
// Adds one row of a foreign key list (ordered by key, then by position) to
// keys: a new key when its id differs from the previous row's.
void addKeyColumn(QList<KeyReference>& keys, int64_t& lastId, int64_t id, const QString& table,
                  const ColumnMap& map) {
    if (keys.isEmpty() || id != lastId)
        keys << KeyReference{table, {}};
    lastId = id;
    keys.last().columns << map;
}

// A key declared without its columns refers to the other table's primary key.
void nameImpliedColumns(QList<KeyReference>& keys,
                        const std::function<QStringList(const QString&)>& primaryKeyOf) {
    for (KeyReference& key : keys) {
        QStringList implied;
        for (qsizetype i = 0; i < key.columns.size(); ++i) {
            QString& column = key.columns[i].to;
            if (!column.isEmpty())
                continue;
            if (implied.isEmpty())
                implied = primaryKeyOf(key.table);
            column = implied.value(i);
        }
    }
}
} // namespace

QList<KeyReference> SqliteDatabase::foreignKeys(const QString& table) const {
    // SQLite numbers a table's keys from the last declared: id DESC is their order.
    Statement s(m_db, QStringLiteral("SELECT f.id, coalesce(m.name, f.\"table\"), f.\"from\", "
                                     "f.\"to\" FROM pragma_foreign_key_list(?1) f "
                                     "LEFT JOIN sqlite_master m ON m.type = 'table' AND "
                                     "m.name = f.\"table\" COLLATE NOCASE "
                                     "ORDER BY f.id DESC, f.seq"));
    s.bindText(1, table);
    QList<KeyReference> keys;
    int64_t lastId = -1;
    while (s.step())
        addKeyColumn(keys, lastId, s.columnInteger(0), s.columnText(1),
                     ColumnMap{s.columnText(2), s.columnText(3)});
    nameImpliedColumns(keys, [this](const QString& t) { return primaryKey(t); });
    return keys;
}

QList<KeyReference> SqliteDatabase::referencedBy(const QString& table) const {
    Statement s(m_db, QStringLiteral("SELECT m.name, f.id, f.\"from\", f.\"to\" FROM "
                                     "sqlite_master m JOIN pragma_foreign_key_list(m.name) f "
                                     "WHERE ") +
                          USER_TABLES +
                          QStringLiteral(" AND m.type = 'table' AND f.\"table\" = ?1 COLLATE "
                                         "NOCASE ORDER BY m.name, f.id DESC, f.seq"));
    s.bindText(1, table);
    QList<KeyReference> keys;
    int64_t lastId = -1;
    QString lastTable;
    while (s.step()) {
        const QString referring = s.columnText(0);
        // Ids count per table: a new table starts a new key even at the same id.
        if (referring != lastTable)
            lastId = -1;
        lastTable = referring;
        addKeyColumn(keys, lastId, s.columnInteger(1), referring,
                     ColumnMap{s.columnText(2), s.columnText(3)});
    }
    const QStringList ownKey = primaryKey(table);
    nameImpliedColumns(keys, [&ownKey](const QString&) { return ownKey; });
    return keys;
}

bool SqliteDatabase::hasRowid(const QString& table) const {
    Statement s(m_db, QStringLiteral("SELECT wr FROM pragma_table_list(?1)"));
    s.bindText(1, table);
    return s.step() && s.columnInteger(0) == 0;
}

TableDescription SqliteDatabase::describeTable(const QString& table) {
    TableDescription d{table, checkedTableType(table), columns(table), {}, {}};
    if (d.type != QLatin1String("table"))
        return d;
    // SQLite lets NULL into a primary key column unless the key is the rowid
    // (INTEGER PRIMARY KEY: no index of its own) or the table has no rowid.
    Statement pkIndex(m_db, QStringLiteral("SELECT 1 FROM pragma_index_list(?1) "
                                           "WHERE origin = 'pk'"));
    pkIndex.bindText(1, table);
    const bool rowid = hasRowid(table);
    const bool keyNeverNull = !rowid || !pkIndex.step();
    int keyColumns = 0;
    for (ColumnDescription& c : d.columns) {
        c.notNull = c.notNull || (c.primaryKey > 0 && keyNeverNull);
        keyColumns += c.primaryKey > 0 ? 1 : 0;
    }
    // An INTEGER PRIMARY KEY is the rowid: SQLite fills it when an insert leaves it out.
    for (ColumnDescription& c : d.columns)
        c.autoIncrement =
            rowid && keyColumns == 1 && c.primaryKey == 1 &&
            c.type.trimmed().compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0;
    d.foreignKeys = foreignKeys(table);
    d.referencedBy = referencedBy(table);
    return d;
}

std::optional<IndexSearch> SqliteDatabase::fullTextSearch(const TableRead& read) const {
    const QString query = Fts5Query(SearchWords(read.search));
    const QString index = read.table + QStringLiteral("_fts");
    Statement s(m_db, QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = "
                                     "?1 AND sql LIKE 'CREATE VIRTUAL TABLE%fts5%'"));
    s.bindText(1, index);
    if (query.isEmpty() || !s.step())
        return std::nullopt;
    return IndexSearch{QStringLiteral("rowid IN (SELECT rowid FROM ") + QuoteIdentifier(index) +
                           QStringLiteral(" WHERE ") + QuoteIdentifier(index) +
                           QStringLiteral(" MATCH %1)"),
                       query};
}

SqliteDatabase::TableSelect SqliteDatabase::tableSelect(const TableRead& read) const {
    const QString type = checkedTableType(read.table, read.ownTable);
    const QList<ColumnDescription> all = columns(read.table);
    // Pages of a table need a stable order; views and WITHOUT ROWID tables have no rowid and
    // keep SQLite's order.
    const bool rowid = type == QLatin1String("table") && hasRowid(read.table);
    TableSelect select;
    select.order = OrderSql(read, read.order, all);
    if (select.order.isEmpty() && rowid)
        select.order = QStringLiteral(" ORDER BY rowid");
    const std::optional<IndexSearch> index =
        rowid && !read.search.isEmpty() ? fullTextSearch(read) : std::nullopt;
    select.source = BuildSource(read, all, SQLITE_DIALECT, index, rowid);
    select.columns = all;
    select.labels = LabelSelectList(read.labels);
    return select;
}

Statement SqliteDatabase::rowStatement(const TableSelect& select, int64_t limit,
                                       int64_t offset) const {
    const int next = int(select.source.values.size()) + 1;
    Statement rows(m_db, QStringLiteral("SELECT *") + select.labels + select.source.from +
                             select.order + QStringLiteral(" LIMIT ") + placeholder(next) +
                             QStringLiteral(" OFFSET ") + placeholder(next + 1));
    rows.bindAll(select.source.values);
    rows.bindInteger(next, limit);
    rows.bindInteger(next + 1, offset);
    return rows;
}

RowPage SqliteDatabase::readTable(const TableRead& read) {
    const VolatileFunctionWatch watch(m_db, m_volatile); // a view may read the clock
    const TableSelect select = tableSelect(read);
    const int64_t total = count(m_db, select.source.from, select.source.values);
    Statement rows = rowStatement(select, read.paging.limit, read.paging.offset);
    RowPage page = readPage(rows, {0, read.paging.limit});
    page.more = read.paging.offset + page.rows.size() < total;
    page.total = total;
    page.truncated = !select.source.scanCount.isEmpty() &&
                     countOf(m_db, select.source.scanCount, select.source.scanValues) > SCAN_ROWS;
    return page;
}

FacetList SqliteDatabase::facets(const TableRead& read) {
    const VolatileFunctionWatch watch(m_db, m_volatile);
    const TableSelect select = tableSelect(read);
    const auto group = [this](const QString& sql, const QList<BoundValue>& values) {
        Statement s(m_db, sql);
        s.bindAll(values);
        QList<FacetValue> rows;
        while (s.step()) {
            FacetValue v{std::nullopt, s.columnInteger(1), std::nullopt};
            if (!std::holds_alternative<std::monostate>(s.field(0, false)))
                v.value = s.columnText(0);
            if (s.columnCount() > 2 && !std::holds_alternative<std::monostate>(s.field(2, false)))
                v.label = s.columnText(2);
            rows << v;
        }
        return std::optional(rows);
    };
    const auto counted = [this](const QString& sql, const QList<BoundValue>& values) {
        return countOf(m_db, sql, values);
    };
    return CollectFacets(select.columns, select.source, read.labels, SQLITE_DIALECT, group,
                         counted);
}

int SqliteDatabase::stopCheck(void* self) {
    const auto* database = static_cast<const SqliteDatabase*>(self);
    return database->m_interrupted || database->m_deadline.hasExpired() ? 1 : 0;
}

void SqliteDatabase::pruneLedger(int maxAgeDays) {
    if (!m_readOnly)
        PruneSqliteLedger(m_db, maxAgeDays);
}

void SqliteDatabase::exportTable(const TableRead& read, RowReceiver& out,
                                 const QDeadlineTimer& deadline) {
    const DeadlineSwap exportDeadline(m_deadline, deadline);
    Statement rows = rowStatement(tableSelect(read), read.paging.limit + 1, read.paging.offset);
    streamRows(rows, 0, read.paging.limit + 1, true, out);
}

QueryKind SqliteDatabase::queryKind(const NamedQuery& query) {
    try {
        return Statement(m_db, query.sql).readOnly() ? QueryKind::Read : QueryKind::Write;
    } catch (const common::Error&) {
        return QueryKind::Unknown;
    }
}

QueryResult SqliteDatabase::runQuery(const NamedQuery& query, const QList<Argument>& arguments,
                                     const QueryRead& read, const QString& requestId,
                                     const WriteCompanion& companion) {
    const VolatileFunctionWatch watch(m_db, m_volatile);
    Statement s = boundStatement(m_db, query, query.sql, arguments);
    if (!s.readOnly())
        return RunSqliteWrite(m_db, query.name, requestId, companion, [&s] {
            while (s.step()) {
            }
            return s.changes();
        });
    PageRows rows(read.paging.limit);
    streamQuery(m_db, query, arguments, s, read.orderBy, read.paging, read.paging.limit + 1, false,
                rows);
    RowPage page = std::move(rows.page());
    if (read.total) {
        Statement count = boundStatement(m_db, query, CountSql(query.sql), arguments);
        count.step();
        page.total = count.columnInteger(0);
    }
    return page;
}

namespace {
// Foreign keys enforced while it lives (SQLite's connections leave them off), so that a change
// of rows meets the database's own rules: a delete that ON DELETE refuses fails, a cascade
// goes through. Set outside any transaction, where SQLite takes it.
class ForeignKeysOn final {
public:
    explicit ForeignKeysOn(sqlite3* db) : m_db(db) {
        {
            Statement now(m_db, QStringLiteral("PRAGMA foreign_keys"));
            m_wasOn = now.step() && now.columnInteger(0) != 0;
        }
        if (!m_wasOn)
            ExecSqlite(m_db, "PRAGMA foreign_keys = ON");
    }
    ~ForeignKeysOn() {
        if (!m_wasOn)
            sqlite3_exec(m_db, "PRAGMA foreign_keys = OFF", nullptr, nullptr, nullptr);
    }
    ForeignKeysOn(const ForeignKeysOn&) = delete;
    ForeignKeysOn& operator=(const ForeignKeysOn&) = delete;

private:
    sqlite3* m_db;
    bool m_wasOn = false;
};
} // namespace

WriteResult SqliteDatabase::runRowWrite(const QString& name, const QString& requestId,
                                        const WriteCompanion& companion, const RowWork& work) {
    const ForeignKeysOn enforced(m_db);
    return RunSqliteWrite(m_db, name, requestId, companion, [&] {
        SqliteAccountSql sql(m_db);
        return work(sql);
    });
}

QString SqliteDatabase::sameAsRead(const ColumnDescription&, const QString& quoted,
                                   const QString& placeholder) const {
    // The text a read gave, compared as text: a REAL compared as a number would differ from
    // its 15-digit text and never match again.
    return QStringLiteral("CAST(") + quoted + QStringLiteral(" AS TEXT) = ") + placeholder;
}

void SqliteDatabase::changeAccounts(const AccountWork& work) {
    RunSqliteAccountChange(m_db, work);
}

bool SqliteDatabase::readAccounts(const AccountWork& work) {
    if (!SqliteAccountTablesExist(m_db))
        return false;
    SqliteAccountSql sql(m_db);
    work(sql);
    return true;
}

void SqliteDatabase::exportQuery(const NamedQuery& query, const QList<Argument>& arguments,
                                 const QueryRead& read, RowReceiver& out,
                                 const QDeadlineTimer& deadline) {
    const DeadlineSwap exportDeadline(m_deadline, deadline);
    Statement s = boundStatement(m_db, query, query.sql, arguments);
    if (!s.readOnly())
        FailExportOfWrite(query.name);
    streamQuery(m_db, query, arguments, s, read.orderBy, read.paging, read.paging.limit + 1, true,
                out);
}

} // namespace dbsvr
