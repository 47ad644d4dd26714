#include "dbsvr/pgaccountsql.h"

#include "dbsvr/pgstatementcache.h"

namespace dbsvr {

// Data servers that make the tables at the same moment take turns: made side by side, the
// tables and the index deadlock each other. The lock (a key of the server's own) is held to the
// end of the transaction; the one that waited then finds the tables there. BIGINT where SQLite's
// INTEGER is: its 64 bits. The time of an audit entry sorts as text whatever the database's
// collation.
const char PG_MAKE_ACCOUNT_TABLES[] =
    "SELECT pg_advisory_xact_lock(1364283237, 1); "
    "CREATE TABLE IF NOT EXISTS quorvex_users (name TEXT PRIMARY KEY, hash TEXT NOT NULL "
    "DEFAULT '', role TEXT NOT NULL, disabled INTEGER NOT NULL DEFAULT 0, created TEXT NOT NULL, "
    "changed TEXT NOT NULL); "
    "CREATE TABLE IF NOT EXISTS quorvex_sessions (key TEXT PRIMARY KEY, user_name TEXT NOT NULL, "
    "created BIGINT NOT NULL, last_seen BIGINT NOT NULL); "
    "CREATE INDEX IF NOT EXISTS quorvex_sessions_user ON quorvex_sessions (user_name); "
    "CREATE TABLE IF NOT EXISTS quorvex_audit (id BIGSERIAL PRIMARY KEY, at TEXT COLLATE \"C\" "
    "NOT NULL, user_name TEXT NOT NULL, address TEXT NOT NULL, action TEXT NOT NULL, "
    "object TEXT NOT NULL, detail TEXT NOT NULL, record_key TEXT NOT NULL)";

const char PG_ACCOUNT_TABLES_EXIST[] =
    "SELECT to_regclass('quorvex_users') IS NOT NULL AND to_regclass('quorvex_sessions') IS NOT "
    "NULL AND to_regclass('quorvex_audit') IS NOT NULL";

QList<QList<SqlText>> PgAccountSql::rows(const QString& sql, const QList<BoundValue>& values) {
    const PgResult r = m_statements.exec(sql, values);
    QList<QList<SqlText>> rows;
    for (int i = 0; i < r.rows(); ++i) {
        QList<SqlText> row;
        for (int c = 0; c < r.columns(); ++c)
            row << (r.isNull(i, c) ? SqlText() : SqlText(r.text(i, c)));
        rows << row;
    }
    return rows;
}

int64_t PgAccountSql::change(const QString& sql, const QList<BoundValue>& values) {
    return m_statements.exec(sql, values).affectedRows();
}

} // namespace dbsvr
