#include "dbsvr/sqlitewrite.h"

#include "common/error.h"
#include "dbsvr/sqliteaccountsql.h"
#include "dbsvr/statement.h"

#include <sqlite3.h>

namespace dbsvr {

namespace {

// Rolls back unless committed, so every way out of a write that fails leaves
// the file as it was.
class Transaction final {
public:
    explicit Transaction(sqlite3* db) : m_db(db) { ExecSqlite(m_db, "BEGIN IMMEDIATE"); }
    ~Transaction() {
        // SQLite rolls back by itself after some errors; a second ROLLBACK
        // would only fail.
        if (!m_committed && !sqlite3_get_autocommit(m_db))
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit() {
        ExecSqlite(m_db, "COMMIT");
        m_committed = true;
    }

private:
    sqlite3* m_db;
    bool m_committed = false;
};

QString ledgerSql(const char* sql) {
    return QString::fromLatin1(sql).arg(QString::fromLatin1(LEDGER_TABLE));
}

void createLedger(sqlite3* db) {
    Statement(db, ledgerSql("CREATE TABLE IF NOT EXISTS %1 (id TEXT PRIMARY KEY, "
                            "query TEXT NOT NULL, changes INTEGER NOT NULL, "
                            "last_insert_id INTEGER, applied_at TEXT NOT NULL)"))
        .step();
}

std::optional<WriteResult> findInLedger(sqlite3* db, const QString& requestId) {
    Statement s(db, ledgerSql("SELECT query, changes, last_insert_id FROM %1 WHERE id = ?1"));
    s.bindText(1, requestId);
    if (!s.step())
        return std::nullopt;
    WriteResult earlier{s.columnText(0), s.columnInteger(1), std::nullopt, true};
    if (!s.columnIsNull(2))
        earlier.lastInsertId = s.columnInteger(2);
    return earlier;
}

void addToLedger(sqlite3* db, const QString& requestId, const WriteResult& result) {
    Statement s(db, ledgerSql("INSERT INTO %1 (id, query, changes, last_insert_id, applied_at) "
                              "VALUES (?1, ?2, ?3, ?4, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'))"));
    s.bindText(1, requestId);
    s.bindText(2, result.query);
    s.bindInteger(3, result.changes);
    s.bind(4, result.lastInsertId ? BoundValue(*result.lastInsertId) : BoundValue());
    s.step();
}

void refuseReadOnly(sqlite3* db) {
    if (sqlite3_db_readonly(db, "main") == 1)
        RaiseReadOnly();
}

} // namespace

void PruneSqliteLedger(sqlite3* db, int maxAgeDays) {
    Statement exists(db, QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND "
                                        "name = ?1"));
    exists.bindText(1, QString::fromLatin1(LEDGER_TABLE));
    if (!exists.step())
        return;
    // applied_at is ISO 8601 UTC of one length: text order is time order.
    Statement s(db, ledgerSql("DELETE FROM %1 WHERE applied_at < "
                              "strftime('%Y-%m-%dT%H:%M:%fZ', 'now', ?1)"));
    s.bindText(1, QStringLiteral("-%1 days").arg(maxAgeDays));
    s.step();
}

WriteResult RunSqliteWrite(sqlite3* db, const QString& name, const QString& requestId,
                           const WriteCompanion& companion, const std::function<int64_t()>& write) {
    refuseReadOnly(db);
    Transaction transaction(db);
    if (!requestId.isEmpty()) {
        createLedger(db);
        if (std::optional<WriteResult> earlier = findInLedger(db, requestId))
            return *earlier;
    }
    // Zero stands for "nothing inserted": an UPDATE leaves the connection's
    // last rowid alone, which would otherwise report an earlier request's row.
    sqlite3_set_last_insert_rowid(db, 0);
    WriteResult result{name, write(), std::nullopt, false};
    if (const sqlite3_int64 rowid = sqlite3_last_insert_rowid(db); rowid != 0)
        result.lastInsertId = rowid;
    if (companion) {
        MakeSqliteAccountTables(db);
        SqliteAccountSql sql(db);
        companion(sql, result);
    }
    if (!requestId.isEmpty())
        addToLedger(db, requestId, result);
    transaction.commit();
    return result;
}

void RunSqliteAccountChange(sqlite3* db, const AccountWork& work) {
    refuseReadOnly(db);
    Transaction transaction(db);
    MakeSqliteAccountTables(db);
    SqliteAccountSql sql(db);
    work(sql);
    transaction.commit();
}

} // namespace dbsvr
