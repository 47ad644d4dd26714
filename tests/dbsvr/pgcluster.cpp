#include "pgcluster.h"

#include "tests/support/programfolder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <libpq-fe.h>
#include <memory>
#include <pwd.h>
#include <unistd.h>

namespace {

constexpr int COMMAND_TIMEOUT_MS = 60000;

} // namespace

PgSession::PgSession(const QString& connectionString)
    : m_connection(PQconnectdb(connectionString.toUtf8().constData()), PQfinish) {
    if (!valid())
        m_error = QString::fromUtf8(PQerrorMessage(m_connection.get()));
}

PgSession::~PgSession() = default;

bool PgSession::valid() const {
    return PQstatus(m_connection.get()) == CONNECTION_OK;
}

bool PgSession::exec(const QString& sql) {
    std::unique_ptr<PGresult, decltype(&PQclear)> result(
        PQexec(m_connection.get(), sql.toUtf8().constData()), PQclear);
    const ExecStatusType status = PQresultStatus(result.get());
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
        return true;
    m_error = QString::fromUtf8(PQerrorMessage(m_connection.get()));
    return false;
}

QString PgSession::value(const QString& sql) {
    std::unique_ptr<PGresult, decltype(&PQclear)> result(
        PQexec(m_connection.get(), sql.toUtf8().constData()), PQclear);
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK || PQntuples(result.get()) == 0) {
        m_error = QString::fromUtf8(PQerrorMessage(m_connection.get()));
        return {};
    }
    return QString::fromUtf8(PQgetvalue(result.get(), 0, 0));
}

QString PgCluster::BinDir() {
    // Debian keeps the server programs out of PATH, one folder per major version.
    QStringList versions =
        QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(),
              [](const QString& a, const QString& b) { return a.toInt() > b.toInt(); });
    for (const QString& v : versions) {
        const QString bin = QStringLiteral("/usr/lib/postgresql/") + v + QStringLiteral("/bin");
        if (QFile::exists(bin + QStringLiteral("/initdb")))
            return bin;
    }
    const QString initdb = QStandardPaths::findExecutable(QStringLiteral("initdb"));
    return initdb.isEmpty() ? QString() : QFileInfo(initdb).absolutePath();
}

namespace {
std::unique_ptr<PgCluster>& shared() {
    static std::unique_ptr<PgCluster> cluster;
    return cluster;
}
QString& skipReason() {
    static QString reason;
    return reason;
}
} // namespace

PgCluster* PgCluster::Shared() {
    if (!shared() && skipReason().isEmpty()) {
        if (BinDir().isEmpty()) {
            skipReason() = QStringLiteral("PostgreSQL is not installed (no initdb)");
        } else {
            auto cluster = std::make_unique<PgCluster>();
            if (cluster->valid() && cluster->start())
                shared() = std::move(cluster);
            else
                skipReason() = QStringLiteral("PostgreSQL did not start: ") + cluster->error();
        }
    }
    return shared().get();
}

QString PgCluster::SkipReason() {
    return skipReason();
}

bool PgCluster::run(const QString& program, const QStringList& arguments) {
    QProcess p;
    QStringList command = {BinDir() + QLatin1Char('/') + program};
    command << arguments;
    if (geteuid() == 0)
        command = QStringList{QStringLiteral("runuser"), QStringLiteral("-u"),
                              QStringLiteral("nobody"), QStringLiteral("--")} +
                  command;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(command.takeFirst(), command);
    if (!p.waitForFinished(COMMAND_TIMEOUT_MS) || p.exitStatus() != QProcess::NormalExit ||
        p.exitCode() != 0) {
        m_error = program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(p.readAll());
        return false;
    }
    return true;
}

PgCluster::PgCluster() {
    if (!m_dir.isValid() || BinDir().isEmpty())
        return;
    if (geteuid() == 0) {
        const passwd* nobody = getpwnam("nobody");
        if (!nobody || ::chown(QFile::encodeName(m_dir.path()).constData(), nobody->pw_uid,
                               nobody->pw_gid) != 0) {
            m_error = QStringLiteral("cannot hand the folder to nobody");
            return;
        }
    }
    m_valid =
        run(QStringLiteral("initdb"),
            {QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")), QStringLiteral("-U"),
             QStringLiteral("postgres"), QStringLiteral("--auth=trust"), QStringLiteral("-E"),
             QStringLiteral("UTF8"), QStringLiteral("--locale=C.UTF-8"), QStringLiteral("-N")});
}

PgCluster::~PgCluster() {
    if (m_valid)
        stop();
}

bool PgCluster::start() {
    return run(QStringLiteral("pg_ctl"),
               {QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")), QStringLiteral("-l"),
                m_dir.filePath(QStringLiteral("server.log")), QStringLiteral("-w"),
                QStringLiteral("-o"),
                QStringLiteral("-k ") + m_dir.path() +
                    QStringLiteral(" -c listen_addresses='' -c fsync=off -c autovacuum=off"),
                QStringLiteral("start")});
}

bool PgCluster::stop() {
    return run(QStringLiteral("pg_ctl"),
               {QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")), QStringLiteral("-w"),
                QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("stop")});
}

QString PgCluster::connectionString(const QString& database) const {
    return QStringLiteral("host=%1 user=postgres dbname=%2").arg(m_dir.path(), database);
}

bool PgCluster::exec(const QString& database, const QString& sql) {
    PgSession session(connectionString(database));
    if (session.exec(sql))
        return true;
    m_error = session.error();
    return false;
}

QString PgCluster::createDatabase(const QString& sql) {
    const QString name = QStringLiteral("test%1").arg(++m_databases);
    QString script = sql;
    script.remove(
        QRegularExpression(QStringLiteral("^\\\\[^\n]*"), QRegularExpression::MultilineOption));
    if (!exec(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE ") + name) ||
        !exec(name, script))
        return {};
    return name;
}

QString PgCluster::createSampleDatabase() {
    return createDatabase(QString::fromUtf8(support::ReadFile(
        support::StageDir() + QStringLiteral("/examples/microsoft access/sample-postgresql.sql"))));
}

bool PgCluster::serveFrom(const QString& configFile, const QString& database) const {
    QString xml = QString::fromUtf8(support::ReadFile(configFile));
    xml.replace(QRegularExpression(QStringLiteral("<Database>[^<]*</Database>")),
                QStringLiteral("<Database type=\"postgresql\">") +
                    connectionString(database).toHtmlEscaped() + QStringLiteral("</Database>"));
    return support::WriteFile(configFile, xml.toUtf8());
}

QString PgCluster::value(const QString& database, const QString& sql) const {
    return PgSession(connectionString(database)).value(sql);
}
