#include "dbsvr/pgstatementcache.h"

#include "common/error.h"

namespace dbsvr {

namespace {

// The type each value is prepared with, as PgConnection::prepare() takes it: integers and
// reals typed, texts and NULLs left for the server to infer from where they stand.
QStringList typesOf(const QList<BoundValue>& values) {
    QStringList types;
    for (const BoundValue& v : values)
        types << (std::holds_alternative<int64_t>(v)  ? QStringLiteral("integer")
                  : std::holds_alternative<double>(v) ? QStringLiteral("real")
                                                      : QString());
    return types;
}

// What the server says when a prepared statement's result would now have other columns.
bool planOutdated(const PgResult& result) {
    return result.sqlState() == QLatin1String("0A000");
}

} // namespace

QString PgStatementCache::prepared(const QString& sql, const QList<BoundValue>& values,
                                   PgResult& failed) {
    const QStringList types = typesOf(values);
    const QString key = types.join(QLatin1Char(',')) + QLatin1Char('\n') + sql;
    if (const auto known = m_names.constFind(key); known != m_names.constEnd())
        return *known;
    if (m_names.size() >= MAX_STATEMENTS)
        dropOwn();
    const QString name = QStringLiteral("qv_s%1").arg(++m_made);
    failed = m_connection.prepare(name, sql, types);
    if (!failed.ok())
        return {};
    m_names.insert(key, name);
    return name;
}

void PgStatementCache::forget(const QString& name) {
    for (auto it = m_names.begin(); it != m_names.end(); ++it) {
        if (*it == name) {
            m_names.erase(it);
            break;
        }
    }
    m_connection.run(QStringLiteral("DEALLOCATE ") + name);
}

PgResult PgStatementCache::runNamed(const QString& sql, const QList<BoundValue>& values,
                                    const Runner& runner) {
    for (int attempt = 0;; ++attempt) {
        PgResult failed;
        const QString name = prepared(sql, values, failed);
        if (name.isEmpty())
            return failed;
        PgResult result = runner(name);
        if (attempt > 0 || !planOutdated(result) || m_connection.lost())
            return result;
        forget(name);
    }
}

PgResult PgStatementCache::run(const QString& sql, const QList<BoundValue>& values) {
    return runNamed(sql, values,
                    [&](const QString& name) { return m_connection.runPrepared(name, values); });
}

PgResult PgStatementCache::stream(const QString& sql, const QList<BoundValue>& values,
                                  const PgConnection::RowHandler& row,
                                  const QDeadlineTimer& deadline) {
    return runNamed(sql, values, [&](const QString& name) {
        return m_connection.streamPrepared(name, values, row, deadline);
    });
}

PgResult PgStatementCache::exec(const QString& sql, const QList<BoundValue>& values) {
    PgResult result = run(sql, values);
    if (!result.ok())
        throw common::Error(common::ERR_PROGRAM, result.errorText());
    return result;
}

void PgStatementCache::dropOwn() {
    // One by one: the connection's other statements stay.
    const QList<QString> names = m_names.values();
    m_names.clear();
    for (const QString& name : names)
        if (!m_connection.lost())
            m_connection.run(QStringLiteral("DEALLOCATE ") + name);
}

void PgStatementCache::clear() {
    m_names.clear();
    if (!m_connection.lost())
        m_connection.runScript("DEALLOCATE ALL");
}

} // namespace dbsvr
