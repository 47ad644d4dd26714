#pragma once

#include "dbsvr/database.h"
#include "dbsvr/namedparameters.h"
#include "dbsvr/pgconnection.h"
#include "dbsvr/pgschema.h"
#include "dbsvr/pgstatementcache.h"
#include "dbsvr/readsource.h"

#include <QHash>
#include <QString>
#include <memory>
#include <utility>

namespace dbsvr {

// How the fields of a result become values: a bytea whole with blobData, else its size; a
// column marked in sizes holds the size of a BLOB already (octet_length: the bytes never travel).
struct PgFieldRules {
    bool blobData = false;
    QList<bool> sizes;
};

// A database on a PostgreSQL server, through one libpq connection. Tables
// and views are those of the connection's current schema (the first of its
// search_path). What it runs again and again is prepared once on the connection,
// and what the catalogs say is kept until the schema changes (PgSchema).
// Failures raise common::Error with the server's text.
class PostgresDatabase final : public Database {
public:
    // Connects; see PgConnection for what raises and for statementTimeoutMs.
    explicit PostgresDatabase(const QString& connectionString,
                              int statementTimeoutMs = PgConnection::STATEMENT_TIMEOUT_MS);

    QString description() const override;
    bool connectionLost() const override { return m_connection.lost(); }
    bool takeVolatile() override { return std::exchange(m_volatile, false); }
    bool takeChanged() override { return std::exchange(m_changed, false); }
    // The server's snapshot, read on a connection of its own (not this one, which is a
    // worker's).
    std::unique_ptr<DataVersionSource> versionSource() const override;
    void limitStatements(const QDeadlineTimer& deadline) override { m_connection.limit(deadline); }
    void interrupt() override { m_connection.interrupt(); }
    void clearInterrupt() override { m_connection.clearInterrupt(); }
    void pruneLedger(int maxAgeDays) override;
    QList<TableSummary> tables() override;
    TableDescription describeTable(const QString& table) override;
    RowPage readTable(const TableRead& read) override;
    FacetList facets(const TableRead& read) override;
    void exportTable(const TableRead& read, RowReceiver& out,
                     const QDeadlineTimer& deadline) override;
    QueryKind queryKind(const NamedQuery& query) override;
    QueryResult runQuery(const NamedQuery& query, const QList<Argument>& arguments,
                         const QueryRead& read, const QString& requestId,
                         const WriteCompanion& companion) override;
    void exportQuery(const NamedQuery& query, const QList<Argument>& arguments,
                     const QueryRead& read, RowReceiver& out,
                     const QDeadlineTimer& deadline) override;
    WriteResult runRowWrite(const QString& name, const QString& requestId,
                            const WriteCompanion& companion, const RowWork& work) override;
    QString sameAsRead(const ColumnDescription& column, const QString& quoted,
                       const QString& placeholder) const override;
    void changeAccounts(const AccountWork& work) override;
    bool readAccounts(const AccountWork& work) override;

private:
    // Rolls back a transaction an earlier request left open.
    void endLeftoverTransaction();
    // Before a request: ends what an earlier one left open, and drops what was kept about the
    // schema, prepared statements included, when it changed.
    void checkSchema();
    // The table's or view's type, "table" or "view" (with own, "table" for a table of the
    // server's own). Raises UnknownTable.
    QString checkedTableType(const QString& name, bool own = false);
    // A read of a table as SQL: the select list that gives BLOBs as their sizes (its rules to
    // read them), its source, then " ORDER BY ... LIMIT $n OFFSET $n+1" after the source's
    // values, and the table's columns. Raises UnknownTable, UnknownColumn.
    struct TableSelect {
        QString sizesOnly; // with the labels
        QString labels;
        PgFieldRules rules;
        ReadSource source;
        QString rest;
        QList<ColumnDescription> columns;
    };
    TableSelect tableSelect(const TableRead& read);
    // The search of read through a GIN index of the table on its text search document, when it
    // has one.
    std::optional<IndexSearch> textSearch(const TableRead& read,
                                          const QList<ColumnDescription>& all);
    // The number "SELECT count(*) ..." gives; a value its column cannot take is the client's.
    int64_t countOf(const QString& sql, const QList<BoundValue>& values);
    // A named query as this connection runs it: with $n parameters, prepared
    // once (for reads also wrapped to give one page), its kind judged once.
    struct Prepared {
        PositionalSql sql;
        QStringList types; // the declared types of $1, $2, ...
        QString statement; // the prepared statement's name; its page's adds "_page"
        bool statementReady = false;
        bool pageReady = false;
        std::optional<QueryKind> kind;
        bool isVolatile = false;            // its plan reads the clock or the like (PlanIsVolatile)
        std::optional<QStringList> columns; // of its result, once described
    };
    Prepared& prepared(const NamedQuery& query);
    QueryKind kindOf(Prepared& query);
    // The rows of a read query from read.paging.offset, at most its limit + 1, in read.orderBy's
    // order, handed to out.
    void readQuery(Prepared& query, const QList<BoundValue>& values, const QueryRead& read,
                   RowReceiver& out, const PgFieldRules& rules, const QDeadlineTimer& deadline);
    // The names of the query's result columns, as the server describes its statement.
    const QStringList& resultColumns(Prepared& query);
    // How many rows the read query gives.
    int64_t countRows(const Prepared& query, const QList<BoundValue>& values);
    WriteResult write(Prepared& query, const QString& name, const QList<BoundValue>& values,
                      const QString& requestId, const WriteCompanion& companion);
    // Runs run (the write; gives the rows it changed) in a transaction with the ledger and
    // the companion, as Database::runQuery describes a write.
    WriteResult ledgerWrite(const QString& name, const QString& requestId,
                            const WriteCompanion& companion, const std::function<int64_t()>& run);
    std::optional<WriteResult> findInLedger(const QString& requestId);
    // Runs the script that makes tables of the server's own when they are missing, in the
    // transaction that runs.
    void makeOwnTables(const char* script);
    // The account tables, unless this connection knows them to be there.
    void makeAccountTables();

    QString m_connectionString;
    PgConnection m_connection;
    PgStatementCache m_statements{m_connection};
    PgSchema m_schema{m_connection, m_statements};
    bool m_readOnly = false; // the session may not write (a standby, or so configured)
    // Per query name, for this connection's life (the configuration is
    // read again with every new connection).
    QHash<QString, Prepared> m_prepared;
    bool m_probeReady = false;
    bool m_volatile = false; // see takeVolatile()
    bool m_changed = false;  // see takeChanged()
    // The account tables were there when last looked at, and the schema has not changed since.
    bool m_accountTables = false;
};

} // namespace dbsvr
