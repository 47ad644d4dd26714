#pragma once

#include "dbsvr/database.h"

#include <QString>
#include <functional>

struct sqlite3;

namespace dbsvr {

// Runs write (the statements that change the database; gives the rows they changed) in a
// transaction of its own
// (BEGIN IMMEDIATE, so two data servers on one file take turns instead of
// failing half-way). With a request id, the look-up in the ledger, the write
// and the ledger entry share that transaction: an id already there gives the
// recorded result and runs nothing. A companion runs in the transaction after the write, the
// account tables made first. The result is returned only after COMMIT; any failure rolls
// everything back and raises common::Error.
WriteResult RunSqliteWrite(sqlite3* db, const QString& name, const QString& requestId,
                           const WriteCompanion& companion, const std::function<int64_t()>& write);

// Runs work on the account tables in a transaction of its own, as Database::changeAccounts.
void RunSqliteAccountChange(sqlite3* db, const AccountWork& work);

// Deletes the ledger's entries applied more than maxAgeDays ago; nothing when there is no
// ledger. Raises common::Error when the database refuses.
void PruneSqliteLedger(sqlite3* db, int maxAgeDays);

} // namespace dbsvr
