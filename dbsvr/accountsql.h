#pragma once

#include "dbsvr/arguments.h"

#include <QList>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

namespace dbsvr {

struct WriteResult;

// The tables where the data server keeps the web application's users, their sessions and the
// audit trail: in the application's database, so that web servers that share it share them.
// Like the ledger they are the server's own (OWN_TABLE_PREFIX), made by the first change that
// needs them.
inline constexpr char USERS_TABLE[] = "quorvex_users";
inline constexpr char SESSIONS_TABLE[] = "quorvex_sessions";
inline constexpr char AUDIT_TABLE[] = "quorvex_audit";

// A value read from the account tables: its text, or none for NULL.
using SqlText = std::optional<QString>;

// Statements on the account tables, inside the transaction of the call that hands this out.
// A statement names its values $1, $2, ... on every database. Failures raise common::Error.
class AccountSql {
public:
    virtual ~AccountSql() = default;
    // The rows the statement gives, every value as text.
    virtual QList<QList<SqlText>> rows(const QString& sql, const QList<BoundValue>& values) = 0;
    // Runs a statement that writes; the rows it changed.
    virtual int64_t change(const QString& sql, const QList<BoundValue>& values) = 0;
    // What follows a SELECT of rows about to be changed, so that nobody else changes them
    // before the transaction ends ("" where a transaction that writes holds the whole database).
    virtual QString lockRows() const = 0;

protected:
    AccountSql() = default;
    AccountSql(const AccountSql&) = delete;
    AccountSql& operator=(const AccountSql&) = delete;
};

// Work on the account tables.
using AccountWork = std::function<void(AccountSql&)>;
// Work on the account tables in the transaction of a write, after the write ran; never for a
// request id the ledger holds already.
using WriteCompanion = std::function<void(AccountSql&, const WriteResult&)>;

} // namespace dbsvr
