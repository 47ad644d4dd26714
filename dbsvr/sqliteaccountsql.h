#pragma once

#include "dbsvr/accountsql.h"

struct sqlite3;

namespace dbsvr {

class Statement;

// The account tables on an SQLite connection.
class SqliteAccountSql final : public AccountSql {
public:
    explicit SqliteAccountSql(sqlite3* db) : m_db(db) {}

    QList<QList<SqlText>> rows(const QString& sql, const QList<BoundValue>& values) override;
    int64_t change(const QString& sql, const QList<BoundValue>& values) override;
    // A transaction that writes holds the whole file (BEGIN IMMEDIATE).
    QString lockRows() const override { return {}; }

private:
    Statement prepared(const QString& sql, const QList<BoundValue>& values) const;

    sqlite3* m_db;
};

// Makes the account tables that are missing, in the transaction that runs.
void MakeSqliteAccountTables(sqlite3* db);
// Whether the account tables are all there.
bool SqliteAccountTablesExist(sqlite3* db);

} // namespace dbsvr
