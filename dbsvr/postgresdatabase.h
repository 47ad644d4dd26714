#pragma once

#include "dbsvr/database.h"
#include "dbsvr/namedparameters.h"
#include "dbsvr/pgconnection.h"

#include <QHash>
#include <QString>
#include <memory>

namespace dbsvr {

// A database on a PostgreSQL server, through one libpq connection. Tables
// and views are those of the connection's current schema (the first of its
// search_path). Failures raise common::Error with the server's text.
class PostgresDatabase final : public Database {
public:
    // Connects; see PgConnection for what raises.
    explicit PostgresDatabase(const QString& connectionString);

    QString description() const override;
    bool connectionLost() const override { return m_connection.lost(); }
    QList<TableSummary> tables() override;
    TableDescription describeTable(const QString& table) override;
    RowPage readTable(const TableRead& read) override;
    QueryKind queryKind(const NamedQuery& query) override;
    QueryResult runQuery(const NamedQuery& query, const QList<Argument>& arguments,
                         const Paging& paging, const QString& requestId) override;

private:
    // "table" or "view" for a user table or view of exactly this name, "" otherwise.
    QString tableType(const QString& name);
    QString checkedTableType(const QString& name);
    QList<ColumnDescription> columns(const QString& table);
    QList<KeyReference> keys(const QString& table, bool referencing);
    // A named query as this connection runs it: with $n parameters, prepared
    // once (for reads also wrapped to give one page), its kind judged once.
    struct Prepared {
        PositionalSql sql;
        QStringList types; // the declared types of $1, $2, ...
        QString statement; // the prepared statement's name; its page's adds "_page"
        bool statementReady = false;
        bool pageReady = false;
        std::optional<QueryKind> kind;
    };
    Prepared& prepared(const NamedQuery& query);
    RowPage readQuery(Prepared& query, const QList<BoundValue>& values, const Paging& paging);
    WriteResult write(Prepared& query, const QString& name, const QList<BoundValue>& values,
                      const QString& requestId);
    std::optional<WriteResult> findInLedger(const QString& requestId);

    PgConnection m_connection;
    bool m_readOnly = false; // the session may not write (a standby, or so configured)
    // Per query name, for this connection's life (the configuration is
    // read again with every new connection).
    QHash<QString, Prepared> m_prepared;
    bool m_probeReady = false;
};

} // namespace dbsvr
