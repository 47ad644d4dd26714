#include "dbsvr/pgconnection.h"

#include "common/error.h"

#include <QDeadlineTimer>
#include <algorithm>
#include <climits>
#include <exception>
#include <libpq-fe.h>
#include <poll.h>

namespace dbsvr {

namespace {

constexpr Oid INT8_OID = 20;
constexpr Oid FLOAT8_OID = 701;
constexpr Oid BYTEA_OID = 17;

// The error number of PostgreSQL failures: there is no numeric code, the
// text and SQLSTATE say what happened.
constexpr int ERR_POSTGRESQL = common::ERR_PROGRAM;

QString connectionError(pg_conn* conn) {
    return QString::fromUtf8(PQerrorMessage(conn)).trimmed();
}

bool holdsPassword(const QString& connectionString, QString& parseError) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(connectionString.toUtf8().constData(), &error);
    if (!options) {
        parseError = error ? QString::fromUtf8(error).trimmed()
                           : QStringLiteral("The connection string cannot be read.");
        PQfreemem(error);
        return false;
    }
    bool password = false;
    for (const PQconninfoOption* o = options; o->keyword; ++o)
        if (qstrcmp(o->keyword, "password") == 0 && o->val && *o->val)
            password = true;
    PQconninfoFree(options);
    return password;
}

} // namespace

PgResult::PgResult(pg_result* result) : m_result(result, PQclear) {}

bool PgResult::ok() const {
    if (!m_result)
        return false;
    const ExecStatusType status = PQresultStatus(m_result.get());
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

QString PgResult::sqlState() const {
    if (ok() || !m_result)
        return {};
    return QString::fromLatin1(PQresultErrorField(m_result.get(), PG_DIAG_SQLSTATE));
}

QString PgResult::errorText() const {
    if (!m_result)
        return QStringLiteral("No answer from the database server.");
    const char* primary = PQresultErrorField(m_result.get(), PG_DIAG_MESSAGE_PRIMARY);
    const QString text =
        QString::fromUtf8(primary ? primary : PQresultErrorMessage(m_result.get())).trimmed();
    return text.isEmpty() ? QStringLiteral("No answer from the database server in time.") : text;
}

bool PgResult::inconclusive() const {
    if (ok())
        return false;
    // Failures made on this side (interrupted, not sent, no answer) carry no SQLSTATE.
    const QString state = sqlState();
    static const QStringList passing = {QStringLiteral("08"),    QStringLiteral("25P02"),
                                        QStringLiteral("25P03"), QStringLiteral("40"),
                                        QStringLiteral("53"),    QStringLiteral("55P03"),
                                        QStringLiteral("57")};
    return state.isEmpty() || std::any_of(passing.begin(), passing.end(),
                                          [&](const QString& p) { return state.startsWith(p); });
}

int PgResult::rows() const {
    return m_result ? PQntuples(m_result.get()) : 0;
}

int PgResult::columns() const {
    return m_result ? PQnfields(m_result.get()) : 0;
}

QString PgResult::columnName(int column) const {
    return QString::fromUtf8(PQfname(m_result.get(), column));
}

bool PgResult::isNull(int row, int column) const {
    return PQgetisnull(m_result.get(), row, column) != 0;
}

bool PgResult::isBytea(int column) const {
    return PQftype(m_result.get(), column) == BYTEA_OID;
}

QString PgResult::text(int row, int column) const {
    return QString::fromUtf8(PQgetvalue(m_result.get(), row, column),
                             PQgetlength(m_result.get(), row, column));
}

QByteArray PgResult::bytes(int row, int column) const {
    size_t length = 0;
    unsigned char* raw = PQunescapeBytea(
        reinterpret_cast<const unsigned char*>(PQgetvalue(m_result.get(), row, column)), &length);
    const QByteArray bytes(reinterpret_cast<const char*>(raw), qsizetype(length));
    PQfreemem(raw);
    return bytes;
}

int64_t PgResult::byteaSize(int row, int column) const {
    const char* value = PQgetvalue(m_result.get(), row, column);
    const int length = PQgetlength(m_result.get(), row, column);
    // The hex form (the default): "\x" and two digits a byte.
    if (length >= 2 && value[0] == '\\' && value[1] == 'x')
        return (length - 2) / 2;
    return bytes(row, column).size();
}

int64_t PgResult::integer(int row, int column) const {
    return text(row, column).toLongLong();
}

int64_t PgResult::affectedRows() const {
    return m_result ? QByteArray(PQcmdTuples(m_result.get())).toLongLong() : 0;
}

PgConnection::PgConnection(const QString& connectionString, int statementTimeoutMs)
    : m_statementTimeoutMs(statementTimeoutMs) {
    QString parseError;
    if (holdsPassword(connectionString, parseError))
        throw common::Error(ERR_POSTGRESQL,
                            QStringLiteral("The connection string holds a password; put it in "
                                           "~/.pgpass or the file PGPASSFILE names instead."));
    if (!parseError.isEmpty())
        throw common::Error(ERR_POSTGRESQL, parseError);
    const QByteArray connectTimeout = QByteArray::number(CONNECT_TIMEOUT_S);
    const QByteArray conninfo = connectionString.toUtf8();
    // Later entries win: the application's connection string over the
    // defaults before it, and UTF-8 over everything, as the messages are.
    const char* keywords[] = {
        "connect_timeout",  "keepalives_idle", "keepalives_interval", "keepalives_count",
        "application_name", "dbname",          "client_encoding",     nullptr};
    const char* values[] = {connectTimeout.constData(), "10",   "5",    "3", "quorvex dbsvr",
                            conninfo.constData(),       "UTF8", nullptr};
    m_conn = PQconnectdbParams(keywords, values, 1);
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK) {
        const QString why = m_conn ? connectionError(m_conn) : QStringLiteral("Out of memory.");
        PQfinish(m_conn);
        m_conn = nullptr;
        throw common::Error(ERR_POSTGRESQL,
                            QStringLiteral("Unable to connect to the database server. ") + why);
    }
    // Notices ("already exists, skipping") are no news to anyone here.
    PQsetNoticeProcessor(
        m_conn, [](void*, const char*) {}, nullptr);
    m_cancel = PQgetCancel(m_conn);
    try {
        exec(QStringLiteral("SET statement_timeout = %1").arg(m_statementTimeoutMs));
    } catch (const common::Error&) {
        PQfreeCancel(m_cancel);
        // No destructor runs for an object whose constructor fails.
        PQfinish(m_conn);
        m_conn = nullptr;
        throw;
    }
}

PgConnection::~PgConnection() {
    PQfreeCancel(m_cancel);
    PQfinish(m_conn);
}

bool PgConnection::inTransaction() const {
    const PGTransactionStatusType status = PQtransactionStatus(m_conn);
    return status == PQTRANS_INTRANS || status == PQTRANS_INERROR;
}

void PgConnection::interrupt() {
    m_interrupted = true;
    cancel();
}

bool PgConnection::maySend(PgResult& failed) const {
    if (m_lost) {
        failed = PgResult();
        return false;
    }
    if (m_interrupted) {
        failed = PgResult(PQmakeEmptyPGresult(m_conn, PGRES_FATAL_ERROR));
        return false;
    }
    return true;
}

QString PgConnection::description() const {
    return QStringLiteral("%1 on %2:%3 as %4")
        .arg(QString::fromUtf8(PQdb(m_conn)), QString::fromUtf8(PQhost(m_conn)),
             QString::fromUtf8(PQport(m_conn)), QString::fromUtf8(PQuser(m_conn)));
}

PgResult PgConnection::finish(int sent) {
    // An interrupt between the look before sending and the send reached an idle server.
    if (sent && m_interrupted)
        cancel();
    if (sent)
        return waitForResult();
    m_lost = PQstatus(m_conn) != CONNECTION_OK;
    return PgResult(PQmakeEmptyPGresult(m_conn, PGRES_FATAL_ERROR));
}

bool PgConnection::awaitResult(const QDeadlineTimer& by) {
    while (PQisBusy(m_conn)) {
        pollfd fd{PQsocket(m_conn), POLLIN, 0};
        const int ready = ::poll(
            &fd, 1, by.isForever() ? -1 : int(std::clamp<qint64>(by.remainingTime(), 0, INT_MAX)));
        if (ready == 0)
            return false;
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || !PQconsumeInput(m_conn)) {
            m_lost = true;
            return false;
        }
    }
    return true;
}

bool PgConnection::awaitOrCancel(const QDeadlineTimer& deadline, const QDeadlineTimer& answerBy,
                                 bool& cancelled) {
    for (;;) {
        if (awaitResult(cancelled ? answerBy : std::min(deadline, answerBy)))
            return true;
        if (m_lost || cancelled || !deadline.hasExpired()) {
            m_lost = true;
            return false;
        }
        cancel(); // the caller's time is up: the statement's failure follows
        cancelled = true;
    }
}

PgResult PgConnection::waitForResult() {
    // The statement's own time limit on the server, and the grace to hear about it.
    const QDeadlineTimer answerBy(m_statementTimeoutMs + ANSWER_GRACE_MS);
    bool cancelled = false;
    PgResult last;
    for (;;) {
        if (!awaitOrCancel(m_deadline, answerBy, cancelled)) {
            // No answer in time, or a broken socket: this connection is done for.
            m_lost = true;
            return PgResult(PQmakeEmptyPGresult(m_conn, PGRES_FATAL_ERROR));
        }
        pg_result* next = PQgetResult(m_conn);
        if (!next) {
            if (PQstatus(m_conn) != CONNECTION_OK)
                m_lost = true;
            return last;
        }
        last = PgResult(next);
    }
}

void PgConnection::cancel() {
    if (!m_cancel)
        return;
    char error[256];
    PQcancel(m_cancel, error, sizeof error);
}

PgResult PgConnection::receiveRows(int sent, const RowHandler& row,
                                   const QDeadlineTimer& deadline) {
    if (!sent)
        return finish(0);
    PQsetSingleRowMode(m_conn);
    // The statement's own time limit on the server, and the grace to hear about it.
    const QDeadlineTimer answerBy(m_statementTimeoutMs + ANSWER_GRACE_MS);
    const QDeadlineTimer until = deadline.isForever() ? m_deadline : deadline;
    bool wanted = true;
    int unwanted = 0; // rows read after the handler had what it wanted
    bool cancelled = m_interrupted;
    if (cancelled)
        cancel();
    std::exception_ptr raised;
    PgResult last;
    for (;;) {
        if (!awaitOrCancel(until, answerBy, cancelled)) {
            last = PgResult(PQmakeEmptyPGresult(m_conn, PGRES_FATAL_ERROR));
            break;
        }
        pg_result* next = PQgetResult(m_conn);
        if (!next)
            break;
        PgResult result(next);
        if (PQresultStatus(next) != PGRES_SINGLE_TUPLE) {
            last = result;
            continue;
        }
        if (!wanted) {
            // A cancel is a new connection to the server (a process of its own there): the
            // rest of a short result, which a LIMIT usually ends at once, is read instead.
            if (++unwanted > UNWANTED_ROWS_BEFORE_CANCEL && !cancelled) {
                cancel();
                cancelled = true;
            }
            continue;
        }
        try {
            wanted = row(result);
        } catch (...) {
            raised = std::current_exception();
            wanted = false;
        }
        if (raised && !cancelled) {
            cancel();
            cancelled = true;
        }
    }
    if (PQstatus(m_conn) != CONNECTION_OK)
        m_lost = true;
    if (raised)
        std::rethrow_exception(raised);
    // What our own cancel cut short ended as it was wanted.
    if (!wanted && !last.ok() && !m_lost)
        return PgResult(PQmakeEmptyPGresult(m_conn, PGRES_TUPLES_OK));
    return last;
}

namespace {
Oid typeOf(const BoundValue& value) {
    if (std::holds_alternative<int64_t>(value))
        return INT8_OID;
    if (std::holds_alternative<double>(value))
        return FLOAT8_OID;
    return 0;
}

Oid typeNamed(const QString& type) {
    if (type == QLatin1String("integer"))
        return INT8_OID;
    if (type == QLatin1String("real"))
        return FLOAT8_OID;
    return 0;
}
} // namespace

std::vector<const char*> PgConnection::valuePointers(const QList<BoundValue>& values,
                                                     QList<QByteArray>& texts) {
    for (const BoundValue& v : values) {
        if (const auto* text = std::get_if<QString>(&v))
            texts << text->toUtf8();
        else if (const auto* integer = std::get_if<int64_t>(&v))
            texts << QByteArray::number(qlonglong(*integer));
        else if (const auto* real = std::get_if<double>(&v))
            texts << QByteArray::number(*real, 'g', 17);
        else
            texts << QByteArray();
    }
    std::vector<const char*> pointers;
    for (qsizetype i = 0; i < values.size(); ++i)
        pointers.push_back(
            std::holds_alternative<std::monostate>(values[i]) ? nullptr : texts[i].constData());
    return pointers;
}

int PgConnection::sendQuery(const QString& sql, const QList<BoundValue>& values) {
    // libpq copies the values into its buffer: they need not outlive the call.
    QList<QByteArray> texts;
    const std::vector<const char*> pointers = valuePointers(values, texts);
    std::vector<Oid> types;
    for (const BoundValue& v : values)
        types.push_back(typeOf(v));
    return PQsendQueryParams(m_conn, sql.toUtf8().constData(), int(values.size()), types.data(),
                             pointers.data(), nullptr, nullptr, 0);
}

int PgConnection::sendPrepared(const QString& name, const QList<BoundValue>& values) {
    QList<QByteArray> texts;
    const std::vector<const char*> pointers = valuePointers(values, texts);
    return PQsendQueryPrepared(m_conn, name.toUtf8().constData(), int(values.size()),
                               pointers.data(), nullptr, nullptr, 0);
}

PgResult PgConnection::run(const QString& sql, const QList<BoundValue>& values) {
    PgResult failed;
    return maySend(failed) ? finish(sendQuery(sql, values)) : failed;
}

PgResult PgConnection::runPrepared(const QString& name, const QList<BoundValue>& values) {
    PgResult failed;
    return maySend(failed) ? finish(sendPrepared(name, values)) : failed;
}

PgResult PgConnection::stream(const QString& sql, const QList<BoundValue>& values,
                              const RowHandler& row, const QDeadlineTimer& deadline) {
    PgResult failed;
    return maySend(failed) ? receiveRows(sendQuery(sql, values), row, deadline) : failed;
}

PgResult PgConnection::streamPrepared(const QString& name, const QList<BoundValue>& values,
                                      const RowHandler& row, const QDeadlineTimer& deadline) {
    PgResult failed;
    return maySend(failed) ? receiveRows(sendPrepared(name, values), row, deadline) : failed;
}

PgResult PgConnection::runScript(const char* sql) {
    if (m_lost)
        return PgResult();
    return finish(PQsendQuery(m_conn, sql));
}

PgResult PgConnection::prepare(const QString& name, const QString& sql,
                               const QStringList& parameterTypes) {
    PgResult failed;
    if (!maySend(failed))
        return failed;
    std::vector<Oid> types;
    for (const QString& type : parameterTypes)
        types.push_back(typeNamed(type));
    return finish(PQsendPrepare(m_conn, name.toUtf8().constData(), sql.toUtf8().constData(),
                                int(types.size()), types.data()));
}

PgResult PgConnection::describePrepared(const QString& name) {
    PgResult failed;
    if (!maySend(failed))
        return failed;
    return finish(PQsendDescribePrepared(m_conn, name.toUtf8().constData()));
}

namespace {
PgResult checked(PgResult result) {
    if (!result.ok())
        throw common::Error(ERR_POSTGRESQL, result.errorText());
    return result;
}
} // namespace

PgResult PgConnection::exec(const QString& sql, const QList<BoundValue>& values) {
    return checked(run(sql, values));
}

void PgConnection::execScript(const char* sql) {
    checked(runScript(sql));
}

} // namespace dbsvr
