#pragma once

#include "dbsvr/arguments.h"
#include "dbsvr/pgconnection.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QList>
#include <QString>
#include <functional>

namespace dbsvr {

// The statements a connection runs again and again (reads of a table, counts, catalog
// queries), each prepared on the server once, the first time it runs, under a name of its
// own, and run by that name from then on: the server parses and plans it once. A statement
// is known by its text and the types of its values. Failures are those of the statement;
// one that cannot be prepared is not kept.
class PgStatementCache final {
public:
    // So many kept on the server before they are all dropped and kept afresh.
    static constexpr int MAX_STATEMENTS = 200;

    explicit PgStatementCache(PgConnection& connection) : m_connection(connection) {}
    PgStatementCache(const PgStatementCache&) = delete;
    PgStatementCache& operator=(const PgStatementCache&) = delete;

    // As PgConnection::run() and ::stream(), through the prepared statement.
    PgResult run(const QString& sql, const QList<BoundValue>& values = {});
    PgResult stream(const QString& sql, const QList<BoundValue>& values,
                    const PgConnection::RowHandler& row, const QDeadlineTimer& deadline);
    // As run(), raising common::Error with the server's text on failure.
    PgResult exec(const QString& sql, const QList<BoundValue>& values = {});

    // Forgets every statement of the connection, also those prepared without this cache
    // (a named query's): their plans and columns may belong to tables that have changed.
    void clear();
    qsizetype size() const { return m_names.size(); }

private:
    using Runner = std::function<PgResult(const QString& name)>;
    // Prepares the statement when it is new and runs it; prepared again once when the server
    // finds its result no longer fits its plan (a table changed under it).
    PgResult runNamed(const QString& sql, const QList<BoundValue>& values, const Runner& runner);
    // The statement's name, prepared now when new; "" with failed set when it cannot be.
    QString prepared(const QString& sql, const QList<BoundValue>& values, PgResult& failed);
    void forget(const QString& name);
    void dropOwn();

    PgConnection& m_connection;
    QHash<QString, QString> m_names; // text and types → the statement's name
    quint64 m_made = 0;
};

} // namespace dbsvr
