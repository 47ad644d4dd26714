#pragma once

#include "dbsvr/accountsql.h"

namespace dbsvr {

class PgStatementCache;

// The account tables on a PostgreSQL connection, through its prepared statements.
class PgAccountSql final : public AccountSql {
public:
    explicit PgAccountSql(PgStatementCache& statements) : m_statements(statements) {}

    QList<QList<SqlText>> rows(const QString& sql, const QList<BoundValue>& values) override;
    int64_t change(const QString& sql, const QList<BoundValue>& values) override;
    QString lockRows() const override { return QStringLiteral(" FOR UPDATE"); }

private:
    PgStatementCache& m_statements;
};

// Makes the account tables that are missing (several commands).
extern const char PG_MAKE_ACCOUNT_TABLES[];
// One row: "t" when the account tables are all there.
extern const char PG_ACCOUNT_TABLES_EXIST[];

} // namespace dbsvr
