#pragma once

#include "dbsvr/database.h"
#include "dbsvr/readsource.h"
#include "dbsvr/statement.h"

#include <QDeadlineTimer>
#include <QString>
#include <atomic>
#include <memory>
#include <optional>
#include <sys/types.h>
#include <utility>

struct sqlite3;

namespace dbsvr {

// An open SQLite database file. Failures raise common::Error whose number is
// SQLite's result code and whose description is SQLite's own text.
class SqliteDatabase final : public Database {
public:
    // See Database::Open. A database that takes writes is set to sync every
    // commit to disk (synchronous=FULL, in any journal mode), so a write that
    // was answered survives a crash of the process or the machine, and to WAL mode where its
    // folder allows, so that reads go on while another connection writes. A connection
    // waits up to BUSY_TIMEOUT_MS for another's write to end.
    static std::unique_ptr<SqliteDatabase> Open(const QString& path);
    static constexpr int BUSY_TIMEOUT_MS = 10000;
    ~SqliteDatabase() override;

    const QString& path() const { return m_path; }
    bool readOnly() const { return m_readOnly; }

    QString description() const override;
    QString dataFile() const override { return m_path; }
    bool replaced() const override;
    bool takeVolatile() override { return std::exchange(m_volatile, false); }
    void limitStatements(const QDeadlineTimer& deadline) override { m_deadline = deadline; }
    void interrupt() override { m_interrupted = true; }
    void clearInterrupt() override { m_interrupted = false; }
    void pruneLedger(int maxAgeDays) override;
    QList<TableSummary> tables() override;
    TableDescription describeTable(const QString& table) override;
    RowPage readTable(const TableRead& read) override;
    FacetList facets(const TableRead& read) override;
    void exportTable(const TableRead& read, RowReceiver& out,
                     const QDeadlineTimer& deadline) override;
    QueryKind queryKind(const NamedQuery& query) override;
    QueryResult runQuery(const NamedQuery& query, const QList<Argument>& arguments,
                         const QueryRead& read, const QString& requestId,
                         const WriteCompanion& companion) override;
    void exportQuery(const NamedQuery& query, const QList<Argument>& arguments,
                     const QueryRead& read, RowReceiver& out,
                     const QDeadlineTimer& deadline) override;
    WriteResult runRowWrite(const QString& name, const QString& requestId,
                            const WriteCompanion& companion, const RowWork& work) override;
    QString sameAsRead(const ColumnDescription& column, const QString& quoted,
                       const QString& placeholder) const override;
    void changeAccounts(const AccountWork& work) override;
    bool readAccounts(const AccountWork& work) override;

private:
    SqliteDatabase(sqlite3* db, QString path, bool readOnly);
    // The device and inode the path names now; nullopt when it names nothing.
    std::optional<std::pair<dev_t, ino_t>> fileIdentity() const;

    // "table" or "view" for a user table or view of exactly this name (with own, "table" for
    // a table of the server's own), "" otherwise.
    QString tableType(const QString& name, bool own = false) const;
    // Raises UnknownTable for what tableType() does not know.
    QString checkedTableType(const QString& name, bool own = false) const;
    QList<ColumnDescription> columns(const QString& table) const;
    QStringList primaryKey(const QString& table) const;
    QList<KeyReference> foreignKeys(const QString& table) const;
    QList<KeyReference> referencedBy(const QString& table) const;
    bool hasRowid(const QString& table) const;
    // A read of a table as SQL: its source, " ORDER BY ...", the table's columns, and what the
    // select list adds for the labels.
    struct TableSelect {
        ReadSource source;
        QString labels;
        QString order;
        QList<ColumnDescription> columns;
    };
    // The search of read through the table's FTS5 index "<table>_fts", when it has one and
    // the words can be looked up there.
    std::optional<IndexSearch> fullTextSearch(const TableRead& read) const;
    // Raises UnknownTable, UnknownColumn.
    TableSelect tableSelect(const TableRead& read) const;
    Statement rowStatement(const TableSelect& select, int64_t limit, int64_t offset) const;
    // SQLite's progress handler: nonzero stops the statement.
    static int stopCheck(void* self);

    sqlite3* m_db = nullptr;
    QString m_path;
    bool m_readOnly = false;
    bool m_volatile = false;
    QDeadlineTimer m_deadline = QDeadlineTimer::Forever;
    std::atomic<bool> m_interrupted = false;
    std::optional<std::pair<dev_t, ino_t>> m_file; // the file opened
};

} // namespace dbsvr
