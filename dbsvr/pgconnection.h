#pragma once

#include "dbsvr/arguments.h"

#include <QDeadlineTimer>
#include <QList>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

struct pg_cancel;
struct pg_conn;
struct pg_result;

namespace dbsvr {

// The result of one command; empty when the command could not be sent.
class PgResult final {
public:
    PgResult() = default;
    explicit PgResult(pg_result* result);

    bool ok() const;
    // The five-character SQLSTATE of a failure ("23505"), "" on success.
    QString sqlState() const;
    QString errorText() const;
    // A failure that says nothing about the command itself, which may well succeed when sent
    // again: it was cancelled (by this side, or by the server's statement_timeout), never sent
    // or never answered, or met a passing state of the session or the server (a transaction
    // left aborted, a lock or deadlock, a shutdown, resources). What such a failure would tell
    // is not to be kept.
    bool inconclusive() const;

    int rows() const;
    int columns() const;
    QString columnName(int column) const;
    bool isNull(int row, int column) const;
    bool isBytea(int column) const;
    QString text(int row, int column) const;
    QByteArray bytes(int row, int column) const;  // a bytea field, decoded
    int64_t byteaSize(int row, int column) const; // the bytes of a bytea field, not decoded
    int64_t integer(int row, int column) const;
    // The rows an INSERT, UPDATE, DELETE, MERGE or SELECT touched.
    int64_t affectedRows() const;

private:
    std::shared_ptr<pg_result> m_result;
};

// One connection to a PostgreSQL server through libpq. Every command has a
// deadline on this side too, so a server that stops answering gives an error
// instead of a hang; a connection that broke (or timed out) stays lost and
// is given up by its owner.
class PgConnection final {
public:
    // How long a statement may run on the server, and how much longer this side
    // waits for an answer before it gives the connection up.
    static constexpr int STATEMENT_TIMEOUT_MS = 15000;
    static constexpr int ANSWER_GRACE_MS = 5000;
    // Rows read and dropped once a row handler has what it wants, before the statement is
    // cancelled: a cancel costs the server a new connection, a row a few microseconds.
    static constexpr int UNWANTED_ROWS_BEFORE_CANCEL = 100;
    // Seconds libpq waits for a server to accept the connection.
    static constexpr int CONNECT_TIMEOUT_S = 5;

    // Connects with the libpq connection string or URI (the application's
    // values win over this side's defaults for time-outs and keep-alives).
    // Raises common::Error when the server cannot be reached or refuses the
    // login, and for a connection string that holds a password: that belongs
    // in ~/.pgpass or PGPASSFILE, never in the application folder. statementTimeoutMs is the
    // server's own limit for every statement.
    explicit PgConnection(const QString& connectionString,
                          int statementTimeoutMs = STATEMENT_TIMEOUT_MS);
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // "database shop on /run/postgresql:5432 as app"
    QString description() const;
    bool lost() const { return m_lost; }
    // True while the session is inside a transaction block, also an aborted one.
    bool inTransaction() const;

    // Commands that wait for their results without a deadline of their own are cancelled on
    // the server once this one passes (and then fail).
    void limit(const QDeadlineTimer& deadline) { m_deadline = deadline; }
    // From any thread: cancels the command that runs, and fails every later one before it is
    // sent (runScript() excepted, so that a transaction can still be rolled back), until
    // clearInterrupt().
    void interrupt();
    void clearInterrupt() { m_interrupted = false; }

    // Runs one command with its values bound as parameters $1, $2, ...
    // (typed: integer as bigint, real as double precision, text and NULL left
    // for the server to infer). Never raises; see PgResult.
    PgResult run(const QString& sql, const QList<BoundValue>& values = {});
    // Runs fixed SQL that may hold several commands and takes no values; the
    // last command's result.
    PgResult runScript(const char* sql);
    // As run(), raising common::Error with the server's text on failure.
    PgResult exec(const QString& sql, const QList<BoundValue>& values = {});
    void execScript(const char* sql);
    // Prepares sql as the named statement, its parameters of the named types
    // ("integer", "real"; anything else is left for the server to infer).
    PgResult prepare(const QString& name, const QString& sql, const QStringList& parameterTypes);
    // The columns of a prepared statement's result (columns(), columnName()), without running it.
    PgResult describePrepared(const QString& name);
    // Runs a prepared statement with its values, as run() does.
    PgResult runPrepared(const QString& name, const QList<BoundValue>& values);

    // Takes one row of a streamed command (a result of one row); false when no more are wanted.
    using RowHandler = std::function<bool(const PgResult& row)>;
    // Runs a command as run() or runPrepared() does, but hands its rows to row() one at a time
    // as they arrive (libpq's single-row mode), so that only one is held. When row() wants no
    // more, or raises, or the deadline passes, the rest is cancelled on the server and the
    // connection stays usable. The final result: ok (with the columns, and no rows) when the
    // rows ended or row() wanted no more, else the failure (a statement cancelled at the
    // deadline fails). Raises only what row() raises.
    PgResult stream(const QString& sql, const QList<BoundValue>& values, const RowHandler& row,
                    const QDeadlineTimer& deadline);
    PgResult streamPrepared(const QString& name, const QList<BoundValue>& values,
                            const RowHandler& row, const QDeadlineTimer& deadline);

private:
    // Sends a command, or a prepared statement, with its values; libpq's result (0: not sent).
    int sendQuery(const QString& sql, const QList<BoundValue>& values);
    int sendPrepared(const QString& name, const QList<BoundValue>& values);
    // The result of a command that was sent (sent != 0), or the failure to send it.
    PgResult finish(int sent);
    PgResult waitForResult();
    PgResult receiveRows(int sent, const RowHandler& row, const QDeadlineTimer& deadline);
    // Waits until a result can be taken without blocking; false when by passed first or the
    // connection broke (then lost() is true).
    bool awaitResult(const QDeadlineTimer& by);
    // Waits for a result; once deadline passes, cancels the command (cancelled) and waits for
    // its end until answerBy. False, and the connection lost, when none came by then.
    bool awaitOrCancel(const QDeadlineTimer& deadline, const QDeadlineTimer& answerBy,
                       bool& cancelled);
    // False, with the failure in failed, when the connection may not send a command now.
    bool maySend(PgResult& failed) const;
    // Asks the server to cancel the command that runs; its results still follow.
    void cancel();
    // The values as libpq takes them: texts (kept in texts), NULL pointers for NULL.
    static std::vector<const char*> valuePointers(const QList<BoundValue>& values,
                                                  QList<QByteArray>& texts);

    pg_conn* m_conn = nullptr;
    pg_cancel* m_cancel = nullptr; // libpq's handle to cancel from any thread
    bool m_lost = false;
    std::atomic<bool> m_interrupted = false;
    int m_statementTimeoutMs = STATEMENT_TIMEOUT_MS;
    QDeadlineTimer m_deadline = QDeadlineTimer::Forever;
};

} // namespace dbsvr
