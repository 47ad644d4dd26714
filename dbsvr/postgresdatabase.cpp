#include "dbsvr/postgresdatabase.h"

#include "common/error.h"
#include "dbsvr/config.h"
#include "dbsvr/facets.h"
#include "dbsvr/filtersql.h"
#include "dbsvr/labelsql.h"
#include "dbsvr/pagerows.h"
#include "dbsvr/pgaccountsql.h"
#include "dbsvr/pgdataversion.h"
#include "dbsvr/pgvolatility.h"
#include "dbsvr/querysql.h"
#include "dbsvr/requesterror.h"

#include <algorithm>

namespace dbsvr {

namespace {

QString placeholder(int index) {
    return QLatin1Char('$') + QString::number(index);
}

QString contains(const QString& column, const QString& value) {
    return QStringLiteral("strpos(lower(") + column + QStringLiteral("::text), lower(") + value +
           QStringLiteral("::text)) > 0");
}

// Sent as text of no declared type: the server reads it as the column's type.
BoundValue comparisonValue(const Filter& filter, const ColumnDescription&) {
    return filter.value;
}

// The types as the catalog names them (format_type).
ColumnKind kind(const ColumnDescription& column) {
    const QString& type = column.type;
    const auto is = [&type](const char* name) { return type.startsWith(QLatin1String(name)); };
    if (is("text") || is("character") || is("citext") || is("name"))
        return ColumnKind::Text;
    if (is("smallint") || is("integer") || is("bigint"))
        return ColumnKind::Integer;
    if (is("numeric") || is("real") || is("double precision") || is("decimal"))
        return ColumnKind::Number;
    if (is("date") || is("timestamp"))
        return ColumnKind::Date;
    if (is("bytea"))
        return ColumnKind::Blob;
    return type.isEmpty() ? ColumnKind::Untyped : ColumnKind::Other;
}

const SqlDialect POSTGRES_DIALECT{placeholder, contains, comparisonValue, kind,
                                  QStringLiteral("IS DISTINCT FROM")};

// The text a search index of the table must be built on: its text columns in their order,
// NULL as '', a blank between them. An index on exactly this expression answers searches.
QString searchDocument(const QList<ColumnDescription>& columns) {
    QStringList parts;
    for (const ColumnDescription& c : columns)
        if (kind(c) == ColumnKind::Text)
            parts << QStringLiteral("coalesce(") + QuoteIdentifier(c.name) +
                         QStringLiteral(", '')");
    return QStringLiteral("to_tsvector('simple'::regconfig, ") +
           parts.join(QStringLiteral(" || ' ' || ")) + QLatin1Char(')');
}

bool isDataError(const PgResult& result) {
    return result.sqlState().startsWith(QLatin1String("22"));
}

PgResult checked(const PgResult& result) {
    if (!result.ok())
        throw common::Error(common::ERR_PROGRAM, result.errorText());
    return result;
}

QStringList columnNames(const PgResult& result) {
    QStringList names;
    for (int c = 0; c < result.columns(); ++c)
        names << result.columnName(c);
    return names;
}

QList<FieldValue> fieldsOf(const PgResult& result, int r, const PgFieldRules& rules) {
    QList<FieldValue> row;
    row.reserve(result.columns());
    for (int c = 0; c < result.columns(); ++c) {
        if (result.isNull(r, c))
            row << FieldValue();
        else if (rules.sizes.value(c))
            row << FieldValue(BlobSize{result.integer(r, c)});
        else if (result.isBytea(c))
            row << (rules.blobData ? FieldValue(result.bytes(r, c))
                                   : FieldValue(BlobSize{result.byteaSize(r, c)}));
        else
            row << FieldValue(result.text(r, c));
    }
    return row;
}

// The rows of a streamed command, handed to out; its result as stream() gives it.
PgResult streamInto(RowReceiver& out, const PgFieldRules& rules,
                    const std::function<PgResult(const PgConnection::RowHandler&)>& run) {
    bool described = false;
    const PgResult end = run([&](const PgResult& row) {
        if (!described)
            out.columns(columnNames(row));
        described = true;
        return out.row(fieldsOf(row, 0, rules));
    });
    if (!described && end.ok())
        out.columns(columnNames(end)); // no rows: the end result still describes them
    return end;
}

// The failure of a read of a table: a filter's value its column cannot take is the client's.
PgResult checkedRead(const PgResult& result) {
    if (isDataError(result))
        Fail(ERROR_INVALID_ARGUMENT,
             QStringLiteral("A filter's value does not fit its column: ") + result.errorText());
    return checked(result);
}

// Rolls back unless committed, so every way out of a failure leaves the
// database as it was (a lost connection has rolled back on the server).
class Transaction final {
public:
    // Also rolls back when begin fails after its BEGIN: no destructor runs then.
    Transaction(PgConnection& connection, const char* begin) : m_connection(connection) {
        try {
            m_connection.execScript(begin);
        } catch (const common::Error&) {
            rollback();
            throw;
        }
    }
    ~Transaction() { rollback(); }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit() {
        m_connection.execScript("COMMIT");
        m_open = false;
    }
    void rollback() {
        if (m_open && !m_connection.lost())
            m_connection.runScript("ROLLBACK");
        m_open = false;
    }

private:
    PgConnection& m_connection;
    bool m_open = true;
};

constexpr char BEGIN_WRITE[] = "BEGIN; SELECT nextval('pg_temp.qv_probe')";
constexpr char MAKE_LEDGER[] =
    "CREATE TABLE IF NOT EXISTS quorvex_requests (id TEXT PRIMARY KEY, "
    "query TEXT NOT NULL, changes BIGINT NOT NULL, last_insert_id BIGINT, "
    "applied_at TEXT NOT NULL)";
// A sequence of its own that counts downwards: drawn from before each write,
// lastval() afterwards is negative unless the write drew from a sequence of
// the database (a serial or identity column), and then it is the new row's id.
constexpr char CREATE_PROBE[] =
    "CREATE TEMP SEQUENCE IF NOT EXISTS qv_probe INCREMENT -1 MAXVALUE -1 START -1 "
    "MINVALUE -9223372036854775807";

} // namespace

PostgresDatabase::PostgresDatabase(const QString& connectionString, int statementTimeoutMs)
    : m_connectionString(connectionString), m_connection(connectionString, statementTimeoutMs),
      m_readOnly(m_connection.exec(QStringLiteral("SHOW transaction_read_only")).text(0, 0) ==
                 QLatin1String("on")) {}

QString PostgresDatabase::description() const {
    return QStringLiteral("PostgreSQL database ") + m_connection.description() +
           (m_readOnly ? QStringLiteral(" (read-only)") : QString());
}

std::unique_ptr<DataVersionSource> PostgresDatabase::versionSource() const {
    return std::make_unique<PgDataVersion>(m_connectionString);
}

void PostgresDatabase::endLeftoverTransaction() {
    // A request stopped halfway may have left one open, aborted, whose ROLLBACK was cut short
    // too: every later statement would fail in it.
    if (!m_connection.lost() && m_connection.inTransaction())
        m_connection.execScript("ROLLBACK");
}

void PostgresDatabase::checkSchema() {
    endLeftoverTransaction();
    if (!m_schema.refresh())
        return;
    // Plans and result columns of what was prepared may belong to tables that changed.
    m_statements.clear();
    m_prepared.clear();
    m_accountTables = false; // they may be among them
}

QList<TableSummary> PostgresDatabase::tables() {
    checkSchema();
    QList<TableSummary> tables = m_schema.relations();
    for (TableSummary& table : tables) {
        // A view over a table that has gone is listed without a count.
        const PgResult count =
            m_statements.run(QStringLiteral("SELECT count(*) FROM ") + QuoteIdentifier(table.name));
        if (count.ok())
            table.rows = count.integer(0, 0);
        m_volatile = m_schema.isVolatile(table.name) || m_volatile;
    }
    return tables;
}

QString PostgresDatabase::checkedTableType(const QString& name, bool own) {
    // The server's own tables are never among the relations listed.
    const QString type = !own                               ? m_schema.type(name)
                         : m_schema.columns(name).isEmpty() ? QString()
                                                            : QStringLiteral("table");
    if (type.isEmpty())
        Fail(ERROR_UNKNOWN_TABLE,
             QStringLiteral("There is no table \"") + name + QStringLiteral("\"."));
    return type;
}

TableDescription PostgresDatabase::describeTable(const QString& table) {
    checkSchema();
    TableDescription d{table, checkedTableType(table), m_schema.columns(table), {}, {}};
    if (d.type == QLatin1String("table")) {
        d.foreignKeys = m_schema.keys(table, true);
        d.referencedBy = m_schema.keys(table, false);
    }
    return d;
}

std::optional<IndexSearch> PostgresDatabase::textSearch(const TableRead& read,
                                                        const QList<ColumnDescription>& all) {
    if (!IndexCanFind(SearchWords(read.search)) ||
        std::none_of(all.begin(), all.end(),
                     [](const ColumnDescription& c) { return kind(c) == ColumnKind::Text; }))
        return std::nullopt;
    const PgResult index = checked(m_statements.run(
        QStringLiteral("SELECT 1 FROM pg_indexes WHERE schemaname = current_schema() AND "
                       "tablename = $1 AND indexdef LIKE '%USING gin%to_tsvector%'"),
        {BoundValue(read.table)}));
    if (index.rows() == 0)
        return std::nullopt;
    return IndexSearch{searchDocument(all) +
                           QStringLiteral(" @@ plainto_tsquery('simple'::regconfig, %1)"),
                       read.search};
}

PostgresDatabase::TableSelect PostgresDatabase::tableSelect(const TableRead& read) {
    checkSchema();
    checkedTableType(read.table, read.ownTable);
    m_volatile = m_schema.isVolatile(read.table) || m_volatile;
    const QList<ColumnDescription> all = m_schema.columns(read.table);
    TableSelect select;
    select.columns = all;
    QStringList list;
    for (const ColumnDescription& c : all) {
        const QString name = QuoteIdentifier(c.name);
        const bool blob = c.type == QLatin1String("bytea");
        select.rules.sizes << blob;
        list << (blob ? QStringLiteral("octet_length(") + name + QStringLiteral(") AS ") + name
                      : name);
    }
    select.labels = LabelSelectList(read.labels);
    select.sizesOnly = QStringLiteral("SELECT ") + list.join(QStringLiteral(", ")) + select.labels;
    QString order = OrderSql(read, read.order, all);
    if (order.isEmpty()) {
        // Pages of a table need a stable order: its primary key's.
        QList<ColumnDescription> key;
        std::copy_if(all.begin(), all.end(), std::back_inserter(key),
                     [](const ColumnDescription& c) { return c.primaryKey > 0; });
        std::sort(key.begin(), key.end(),
                  [](const auto& a, const auto& b) { return a.primaryKey < b.primaryKey; });
        QList<SortKey> keys;
        for (const ColumnDescription& c : key)
            keys << SortKey{c.name, false};
        order = OrderSql(read, keys, all);
    }
    select.source = BuildSource(read, all, POSTGRES_DIALECT, textSearch(read, all), false);
    const int next = int(select.source.values.size()) + 1;
    select.rest = order + QStringLiteral(" LIMIT ") + placeholder(next) +
                  QStringLiteral(" OFFSET ") + placeholder(next + 1);
    return select;
}

RowPage PostgresDatabase::readTable(const TableRead& read) {
    const TableSelect select = tableSelect(read);
    const ReadSource& source = select.source;
    const int64_t total = countOf(QStringLiteral("SELECT count(*)") + source.from, source.values);
    PageRows rows(read.paging.limit);
    const QList<BoundValue> values =
        source.values + QList<BoundValue>{read.paging.limit, read.paging.offset};
    checkedRead(streamInto(rows, select.rules, [&](const PgConnection::RowHandler& row) {
        return m_statements.stream(select.sizesOnly + source.from + select.rest, values, row,
                                   QDeadlineTimer::Forever);
    }));
    RowPage& page = rows.page();
    page.more = read.paging.offset + page.rows.size() < total;
    page.total = total;
    page.truncated =
        !source.scanCount.isEmpty() && countOf(source.scanCount, source.scanValues) > SCAN_ROWS;
    return std::move(page);
}

int64_t PostgresDatabase::countOf(const QString& sql, const QList<BoundValue>& values) {
    return checkedRead(m_statements.run(sql, values)).integer(0, 0);
}

FacetList PostgresDatabase::facets(const TableRead& read) {
    const TableSelect select = tableSelect(read);
    const auto group = [this](const QString& sql, const QList<BoundValue>& values) {
        const PgResult result = m_statements.run(sql, values);
        // A type without equality (json, ...) cannot be grouped: no facet.
        if (result.sqlState() == QLatin1String("42883"))
            return std::optional<QList<FacetValue>>();
        checkedRead(result);
        QList<FacetValue> rows;
        const auto text = [&result](int r, int c) {
            return c < result.columns() && !result.isNull(r, c) ? std::optional(result.text(r, c))
                                                                : std::nullopt;
        };
        for (int r = 0; r < result.rows(); ++r)
            rows << FacetValue{text(r, 0), result.integer(r, 1), text(r, 2)};
        return std::optional(rows);
    };
    const auto counted = [this](const QString& sql, const QList<BoundValue>& values) {
        return countOf(sql, values);
    };
    return CollectFacets(select.columns, select.source, read.labels, POSTGRES_DIALECT, group,
                         counted);
}

void PostgresDatabase::exportTable(const TableRead& read, RowReceiver& out,
                                   const QDeadlineTimer& deadline) {
    const TableSelect select = tableSelect(read);
    const QList<BoundValue> values =
        select.source.values + QList<BoundValue>{read.paging.limit + 1, read.paging.offset};
    checkedRead(streamInto(out, {true, {}}, [&](const PgConnection::RowHandler& row) {
        return m_statements.stream(QStringLiteral("SELECT *") + select.labels + select.source.from +
                                       select.rest,
                                   values, row, deadline);
    }));
}

PostgresDatabase::Prepared& PostgresDatabase::prepared(const NamedQuery& query) {
    auto it = m_prepared.find(query.name);
    if (it == m_prepared.end()) {
        Prepared p;
        p.sql = ToPositionalParameters(query.sql);
        for (const QString& name : p.sql.names) {
            const QueryParameter* declared = query.parameter(WithoutPrefix(name));
            p.types << (declared ? declared->type : QStringLiteral("text"));
        }
        p.statement = QStringLiteral("qv_%1").arg(m_prepared.size() + 1);
        it = m_prepared.insert(query.name, p);
    }
    return *it;
}

QueryKind PostgresDatabase::queryKind(const NamedQuery& query) {
    checkSchema();
    return kindOf(prepared(query));
}

QueryKind PostgresDatabase::kindOf(Prepared& p) {
    if (p.kind)
        return *p.kind;
    // The server's own plan says whether the statement changes data, and what it calls;
    // EXPLAIN runs nothing. A judgement cut short (a cancel, the ceiling) is not kept, and
    // fails the request: the next one judges again.
    if (!p.statementReady) {
        const PgResult made = m_connection.prepare(p.statement, p.sql.sql, p.types);
        if (made.inconclusive())
            throw common::Error(common::ERR_PROGRAM, made.errorText());
        p.statementReady = made.ok();
    }
    QueryKind kind = QueryKind::Unknown;
    if (p.statementReady) {
        QStringList nulls;
        for (qsizetype i = 0; i < p.sql.names.size(); ++i)
            nulls << QStringLiteral("NULL");
        const PgResult plan = m_connection.run(
            QStringLiteral("EXPLAIN (VERBOSE, FORMAT JSON) EXECUTE ") + p.statement +
            (nulls.isEmpty() ? QString()
                             : QLatin1Char('(') + nulls.join(QLatin1Char(',')) + QLatin1Char(')')));
        if (plan.inconclusive())
            throw common::Error(common::ERR_PROGRAM, plan.errorText());
        if (plan.ok()) {
            const QString json = plan.text(0, 0);
            kind = json.contains(QLatin1String("\"Node Type\": \"ModifyTable\"")) ? QueryKind::Write
                                                                                  : QueryKind::Read;
            p.isVolatile = kind == QueryKind::Read && PlanIsVolatile(m_statements, json);
        }
    }
    p.kind = kind;
    return kind;
}

QueryResult PostgresDatabase::runQuery(const NamedQuery& query, const QList<Argument>& arguments,
                                       const QueryRead& read, const QString& requestId,
                                       const WriteCompanion& companion) {
    checkSchema();
    Prepared& p = prepared(query);
    const QList<BoundValue> values = BindArguments(query, p.sql.names, arguments);
    if (kindOf(p) == QueryKind::Write)
        return write(p, query.name, values, requestId, companion);
    PageRows rows(read.paging.limit);
    readQuery(p, values, read, rows, {false, {}}, QDeadlineTimer::Forever);
    RowPage page = std::move(rows.page());
    if (read.total)
        page.total = countRows(p, values);
    return page;
}

void PostgresDatabase::exportQuery(const NamedQuery& query, const QList<Argument>& arguments,
                                   const QueryRead& read, RowReceiver& out,
                                   const QDeadlineTimer& deadline) {
    checkSchema();
    Prepared& p = prepared(query);
    const QList<BoundValue> values = BindArguments(query, p.sql.names, arguments);
    if (kindOf(p) == QueryKind::Write)
        FailExportOfWrite(query.name);
    readQuery(p, values, read, out, {true, {}}, deadline);
}

const QStringList& PostgresDatabase::resultColumns(Prepared& query) {
    if (!query.columns) {
        // A statement the server refused says why once more, rather than that it is missing.
        if (!query.statementReady)
            checked(m_connection.prepare(query.statement, query.sql.sql, query.types));
        query.statementReady = true;
        query.columns = columnNames(checked(m_connection.describePrepared(query.statement)));
    }
    return *query.columns;
}

int64_t PostgresDatabase::countRows(const Prepared& query, const QList<BoundValue>& values) {
    return checked(m_statements.run(CountSql(query.sql.sql), values)).integer(0, 0);
}

void PostgresDatabase::readQuery(Prepared& query, const QList<BoundValue>& values,
                                 const QueryRead& read, RowReceiver& out, const PgFieldRules& rules,
                                 const QDeadlineTimer& deadline) {
    m_volatile = query.isVolatile || m_volatile;
    // A volatile function may also write (nextval(), or one of the application's own).
    m_changed = query.isVolatile || m_changed;
    const int next = int(query.types.size()) + 1;
    const QString pageOf = QStringLiteral(" LIMIT ") + placeholder(next) +
                           QStringLiteral(" OFFSET ") + placeholder(next + 1);
    QList<BoundValue> all = values;
    all << BoundValue(read.paging.limit + 1) << BoundValue(read.paging.offset);
    if (!read.orderBy.isEmpty()) {
        // Each order a statement of its own, kept with the connection's others.
        const QString sql = OrderedSql(query.sql.sql, resultColumns(query), read.orderBy) + pageOf;
        checked(streamInto(out, rules, [&](const PgConnection::RowHandler& row) {
            return m_statements.stream(sql, all, row, deadline);
        }));
        return;
    }
    // Only the page travels, in one round trip; and a statement that writes
    // cannot stand inside FROM, so a query taken for a read never writes.
    const QString page = query.statement + QStringLiteral("_page");
    if (!query.pageReady) {
        checked(m_connection.prepare(
            page,
            QStringLiteral("SELECT * FROM (\n") + InnerSql(query.sql.sql) +
                QStringLiteral("\n) AS qv_page") + pageOf,
            query.types + QStringList{QStringLiteral("integer"), QStringLiteral("integer")}));
        query.pageReady = true;
    }
    checked(streamInto(out, rules, [&](const PgConnection::RowHandler& row) {
        return m_connection.streamPrepared(page, all, row, deadline);
    }));
}

std::optional<WriteResult> PostgresDatabase::findInLedger(const QString& requestId) {
    const PgResult r = m_connection.exec(
        QStringLiteral("SELECT query, changes, last_insert_id FROM quorvex_requests WHERE id = $1"),
        {BoundValue(requestId)});
    if (r.rows() == 0)
        return std::nullopt;
    WriteResult earlier{r.text(0, 0), r.integer(0, 1), std::nullopt, true};
    if (!r.isNull(0, 2))
        earlier.lastInsertId = r.integer(0, 2);
    return earlier;
}

void PostgresDatabase::makeOwnTables(const char* script) {
    // A savepoint before it: two connections that make a table at the same moment fail one of
    // them, which then goes on with the other's.
    const QByteArray saved = QByteArrayLiteral("SAVEPOINT qv_own_tables; ") + script;
    const PgResult made = m_connection.runScript(saved.constData());
    // Made by another connection meanwhile: a unique key of the catalogue, or the name taken
    // (by the table, or by its row type). It is there now, and so is all the other made with
    // it; what this one made before it is undone, and made again.
    const QString state = made.sqlState();
    if (state == QLatin1String("23505") || state == QLatin1String("42P07") ||
        state == QLatin1String("42710")) {
        m_connection.execScript("ROLLBACK TO SAVEPOINT qv_own_tables");
        m_connection.execScript(script);
    } else {
        checked(made);
    }
}

void PostgresDatabase::makeAccountTables() {
    if (!m_accountTables)
        makeOwnTables(PG_MAKE_ACCOUNT_TABLES);
}

void PostgresDatabase::changeAccounts(const AccountWork& work) {
    checkSchema();
    if (m_readOnly)
        RaiseReadOnly();
    m_changed = true;
    Transaction transaction(m_connection, "BEGIN");
    makeAccountTables();
    PgAccountSql sql(m_statements);
    work(sql);
    transaction.commit();
    m_accountTables = true;
}

bool PostgresDatabase::readAccounts(const AccountWork& work) {
    checkSchema();
    if (!m_accountTables &&
        m_statements.exec(QString::fromLatin1(PG_ACCOUNT_TABLES_EXIST)).text(0, 0) !=
            QLatin1String("t"))
        return false;
    m_accountTables = true;
    PgAccountSql sql(m_statements);
    work(sql);
    return true;
}

void PostgresDatabase::pruneLedger(int maxAgeDays) {
    endLeftoverTransaction();
    if (m_readOnly ||
        m_connection.exec(QStringLiteral("SELECT to_regclass('quorvex_requests') IS NULL"))
                .text(0, 0) == QLatin1String("t"))
        return;
    // applied_at is ISO 8601 UTC of one length: text order is time order.
    m_connection.exec(QStringLiteral("DELETE FROM quorvex_requests WHERE applied_at < "
                                     "to_char((now() - make_interval(days => $1::int)) AT TIME "
                                     "ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')"),
                      {BoundValue(int64_t(maxAgeDays))});
}

WriteResult PostgresDatabase::write(Prepared& query, const QString& name,
                                    const QList<BoundValue>& values, const QString& requestId,
                                    const WriteCompanion& companion) {
    return ledgerWrite(name, requestId, companion, [&] {
        return checked(m_connection.runPrepared(query.statement, values)).affectedRows();
    });
}

WriteResult PostgresDatabase::runRowWrite(const QString& name, const QString& requestId,
                                          const WriteCompanion& companion, const RowWork& work) {
    checkSchema();
    if (m_readOnly)
        RaiseReadOnly();
    return ledgerWrite(name, requestId, companion, [&] {
        PgAccountSql sql(m_statements);
        return work(sql);
    });
}

QString PostgresDatabase::sameAsRead(const ColumnDescription& column, const QString& quoted,
                                     const QString& placeholder) const {
    // Both sides through the column's type and back to text: the text a read gave may be
    // spelt otherwise than the type's cast to text (a boolean reads "t", casts to "true"), and
    // a type without equality (json) still compares.
    return QStringLiteral("CAST(CAST(") + quoted + QStringLiteral(" AS ") + column.type +
           QStringLiteral(") AS TEXT) = CAST(CAST(") + placeholder + QStringLiteral(" AS ") +
           column.type + QStringLiteral(") AS TEXT)");
}

WriteResult PostgresDatabase::ledgerWrite(const QString& name, const QString& requestId,
                                          const WriteCompanion& companion,
                                          const std::function<int64_t()>& run) {
    m_changed = true;
    if (!m_probeReady) {
        m_connection.execScript(CREATE_PROBE);
        m_probeReady = true;
    }
    Transaction transaction(m_connection, BEGIN_WRITE);
    if (!requestId.isEmpty()) {
        makeOwnTables(MAKE_LEDGER);
        if (std::optional<WriteResult> earlier = findInLedger(requestId))
            return *earlier;
    }
    WriteResult result{name, run(), std::nullopt, false};
    if (const int64_t id = m_connection.exec(QStringLiteral("SELECT lastval()")).integer(0, 0);
        id > 0)
        result.lastInsertId = id;
    if (companion) {
        makeAccountTables();
        PgAccountSql sql(m_statements);
        companion(sql, result);
    }
    if (!requestId.isEmpty()) {
        const PgResult noted = m_connection.run(
            QStringLiteral("INSERT INTO quorvex_requests (id, query, changes, last_insert_id, "
                           "applied_at) VALUES ($1, $2, $3, $4, to_char(now() AT TIME ZONE "
                           "'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"'))"),
            {BoundValue(requestId), BoundValue(result.query), BoundValue(result.changes),
             result.lastInsertId ? BoundValue(*result.lastInsertId) : BoundValue()});
        // Another data server applied the same request meanwhile: its write
        // stands, this one is undone.
        if (noted.sqlState() == QLatin1String("23505")) {
            transaction.rollback();
            if (std::optional<WriteResult> earlier = findInLedger(requestId))
                return *earlier;
        }
        checked(noted);
    }
    transaction.commit();
    m_accountTables = m_accountTables || bool(companion);
    return result;
}

} // namespace dbsvr
