#include "dbsvr/sqliteaccountsql.h"

#include "dbsvr/statement.h"

#include <sqlite3.h>

namespace dbsvr {

namespace {

const char* const TABLES[] = {
    "CREATE TABLE IF NOT EXISTS quorvex_users (name TEXT PRIMARY KEY, hash TEXT NOT NULL "
    "DEFAULT '', role TEXT NOT NULL, disabled INTEGER NOT NULL DEFAULT 0, created TEXT NOT NULL, "
    "changed TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS quorvex_sessions (key TEXT PRIMARY KEY, user_name TEXT NOT NULL, "
    "created INTEGER NOT NULL, last_seen INTEGER NOT NULL)",
    // A user's sessions all end at once (a new password, a disabled user, a sign-out
    // everywhere).
    "CREATE INDEX IF NOT EXISTS quorvex_sessions_user ON quorvex_sessions (user_name)",
    "CREATE TABLE IF NOT EXISTS quorvex_audit (id INTEGER PRIMARY KEY AUTOINCREMENT, "
    "at TEXT NOT NULL, user_name TEXT NOT NULL, address TEXT NOT NULL, action TEXT NOT NULL, "
    "object TEXT NOT NULL, detail TEXT NOT NULL, record_key TEXT NOT NULL)"};

} // namespace

Statement SqliteAccountSql::prepared(const QString& sql, const QList<BoundValue>& values) const {
    Statement s(m_db, sql);
    // SQLite numbers "$n" by where each first appears: bound by name, $n is the n-th value.
    const QStringList names = s.parameterNames();
    for (qsizetype i = 0; i < names.size(); ++i)
        s.bind(int(i) + 1, values.value(names[i].mid(1).toInt() - 1));
    return s;
}

QList<QList<SqlText>> SqliteAccountSql::rows(const QString& sql, const QList<BoundValue>& values) {
    Statement s = prepared(sql, values);
    QList<QList<SqlText>> rows;
    while (s.step()) {
        QList<SqlText> row;
        for (int c = 0; c < s.columnCount(); ++c)
            row << (s.columnIsNull(c) ? SqlText() : SqlText(s.columnText(c)));
        rows << row;
    }
    return rows;
}

int64_t SqliteAccountSql::change(const QString& sql, const QList<BoundValue>& values) {
    Statement s = prepared(sql, values);
    while (s.step()) {
    }
    return s.changes();
}

void MakeSqliteAccountTables(sqlite3* db) {
    for (const char* sql : TABLES)
        Statement(db, QString::fromLatin1(sql)).step();
}

bool SqliteAccountTablesExist(sqlite3* db) {
    Statement s(db, QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND "
                                   "name IN ('quorvex_users', 'quorvex_sessions', "
                                   "'quorvex_audit')"));
    s.step();
    return s.columnInteger(0) == 3;
}

} // namespace dbsvr
