// Starts the staged dbsvr the way the web server does and talks to it through
// real queue folders, tokens and files.
#include "common/codepage.h"
#include "common/error.h"
#include "common/files.h"
#include "common/guid.h"
#include "common/text.h"
#include "components/dataversion.h"
#include "components/queue.h"
#include "contract/contract.h"
#include "contract/namedmutex.h"
#include "dbsvr/config.h"
#include "dbsvr/dataservice.h"
#include "dbsvrfixture.h"
#include "pgcluster.h"
#include "tests/support/processes.h"
#include "tests/support/programfolder.h"
#include "tests/support/qtprinters.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>

using namespace support;

namespace {

QString stagedProgram() {
    return StageDir() + QStringLiteral("/dbsvr");
}

// The environment entry that tells dbsvr where its log goes.
QString LogsFolderIs(const QString& folder) {
    return QString::fromLatin1(dataserver::LOGS_FOLDER_VARIABLE) + QLatin1Char('=') + folder;
}

// One data server with its own temporary application folder, queues and files.
class DataServerRun {
public:
    DataServerRun() {
        EXPECT_TRUE(m_dir.isValid());
        app = m_dir.filePath("app folder");
        EXPECT_TRUE(CopySampleApplication(app));
        requests = m_dir.filePath("queue/requests");
        results = m_dir.filePath("queue/results");
        QDir().mkpath(requests);
        QDir().mkpath(results);
        alive = m_dir.filePath("alive.xml");
        message = m_dir.filePath("message.xml");
        parameterFile = m_dir.filePath("parameters.txt");
        logs = m_dir.filePath("Logs");
        // Its log goes into the test's folder, not into the staged program folder.
        environment = {LogsFolderIs(logs)};
    }
    ~DataServerRun() {
        if (m_parentHandle > 0)
            dataserver::DestroyInstanceMutex(m_parentHandle);
    }

    void holdParent() { m_parentHandle = dataserver::CreateInstanceMutex(parentMutex); }
    void releaseParent() {
        dataserver::DestroyInstanceMutex(m_parentHandle);
        m_parentHandle = 0;
    }

    // Written the way the web server writes it: Windows-1252, CRLF between lines.
    ChildProcess& start() {
        const QStringList lines = {
            "parentmutex=\"" + parentMutex + "\"", "runningmutex=\"" + runningMutex + "\"",
            "inqueue=\"" + requests + "\"",        "outqueue=\"" + results + "\"",
            "alivefile=\"" + alive + "\"",         "messagefile=\"" + message + "\"",
            "configfolder=\"" + app + "\""};
        common::SaveFile(parameterFile, common::ToCodePage(lines.join("\r\n")));
        m_process = std::make_unique<ChildProcess>(
            program, QStringList{"parameterfile=\"" + parameterFile + "\"", ", hidden"},
            environment);
        EXPECT_TRUE(m_process->started());
        return *m_process;
    }

    bool running() const { return dataserver::MutexExists(runningMutex); }

    // A request through the queues, as the web application sends one.
    Reply ask(const QString& xml) {
        components::Queue out;
        out.folder = requests;
        out.package = xml;
        const QString id = out.send({});
        components::Queue in;
        in.folder = results;
        EXPECT_EQ(in.Poll(id, WAIT_MS), id) << xml.toStdString();
        return Reply(in.package.toUtf8());
    }

    QString app, requests, results, alive, message, parameterFile, logs;
    QString program = stagedProgram();
    QStringList environment;
    QString parentMutex = common::NewGuidString();
    QString runningMutex = common::NewGuidString();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<ChildProcess> m_process;
    int m_parentHandle = 0;
};

// A write of the sample application's AddCustomer under a new request id.
QString addCustomerOnce() {
    return "<XML><Type>Query</Type><Name>AddCustomer</Name><RequestId>" + common::NewGuidString() +
           "</RequestId><Parameters><Parameter name=\"name\">Ola</Parameter>"
           "<Parameter name=\"city\">Bergen</Parameter><Parameter "
           "name=\"country\">Norway</Parameter><Parameter name=\"email\"/>"
           "</Parameters></XML>";
}

TEST(DataServerProcess, StartsServesAndEndsWithItsParent) {
    DataServerRun run;
    run.holdParent();
    ChildProcess& dbsvr = run.start();
    // The alive file must be there by the first moment the running token is.
    bool aliveBeforeRunning = false;
    ASSERT_TRUE(Eventually([&] {
        aliveBeforeRunning = common::FileExists(run.alive);
        return run.running();
    }));
    EXPECT_TRUE(aliveBeforeRunning);
    Reply alive(common::ReadFile(run.alive));
    EXPECT_EQ(alive.text("/XML/Pid"), QString::number(dbsvr.pid()));

    const Reply pong = run.ask("<XML><Type>Ping</Type></XML>");
    EXPECT_EQ(pong.text("/XML/Type"), "Pong");
    EXPECT_EQ(pong.text("/XML/Error"), "");

    const Reply orders = run.ask("<XML><Type>Query</Type><Name>CustomerOrders</Name><Parameters>"
                                 "<Parameter name=\"customer\">1</Parameter></Parameters></XML>");
    EXPECT_EQ(orders.text("/XML/Error"), "");
    EXPECT_EQ(orders.count("/XML/Rows/Row"), 3u);
    EXPECT_EQ(orders.text("/XML/Rows/Row[1]/Field[@name='total']"), "20.2");

    const Reply products =
        run.ask("<XML><Type>ReadTable</Type><Table>products</Table><Limit>5</Limit></XML>");
    EXPECT_EQ(products.count("/XML/Rows/Row"), 5u);
    EXPECT_EQ(products.text("/XML/Total"), "18");
    EXPECT_FALSE(common::FileExists(run.message));

    run.releaseParent();
    EXPECT_EQ(dbsvr.finish(5000), 0);
    EXPECT_FALSE(run.running());
}

// Started by hand, without a folder named for its log, the data server logs where a web server
// with the default data folder does: data/Logs of its program folder. So does its configuration
// mode, which notes the setting it writes.
TEST(DataServerProcess, LogsIntoItsProgramFolderUnlessToldWhere) {
    DataServerRun run;
    QTemporaryDir programFolder;
    run.program = programFolder.filePath("dbsvr");
    ASSERT_TRUE(QFile::copy(stagedProgram(), run.program));
    run.environment = {QLatin1String(dataserver::LOGS_FOLDER_VARIABLE)}; // not inherited either
    run.holdParent();
    ChildProcess& dbsvr = run.start();
    ASSERT_TRUE(Eventually([&] { return run.running(); }));
    run.releaseParent();
    EXPECT_EQ(dbsvr.finish(), 0);
    const QString logs = programFolder.filePath("data/Logs");
    const QString log = DailyLog(logs, "DBSRV", dbsvr.pid());
    EXPECT_TRUE(
        log.section("\r\n", 0, 0).endsWith(", Process=" + QString::number(dbsvr.pid()) + "'"))
        << log.toStdString();
    EXPECT_TRUE(ContainsInOrder(log, {"'Command line: parameterfile=\"" + run.parameterFile,
                                      "'Serving " + run.requests, "Closing data server.'\r\n"}));
    EXPECT_FALSE(QDir(run.logs).exists());

    ChildProcess config(run.program,
                        {"mode=config", "configfolder=" + run.app, "database=sample.db"},
                        run.environment, run.app);
    EXPECT_EQ(config.finish(), 0);
    EXPECT_TRUE(ContainsInOrder(DailyLog(logs, "DBSRV", config.pid()),
                                {", 1, 0, 'User=", "'Command line: mode=config configfolder=",
                                 "'Database of " + run.app + "/dataserver.xml set to sample.db'"}));
}

// A log that cannot be written costs the data server nothing: not when its folder cannot be
// made (it says so on standard error), not when a file-size limit refuses its lines.
TEST(DataServerProcess, ALogThatCannotBeWrittenEndsNothing) {
    DataServerRun run;
    ASSERT_TRUE(WriteFile(run.logs, "a file where the folder would be"));
    run.environment = {LogsFolderIs(run.logs + "/Logs")};
    run.holdParent();
    ChildProcess* dbsvr = &run.start();
    ASSERT_TRUE(Eventually([&] { return run.running(); }));
    EXPECT_EQ(run.ask("<XML><Type>Ping</Type></XML>").text("/XML/Type"), "Pong");
    run.releaseParent();
    EXPECT_EQ(dbsvr->finish(), 0);
    EXPECT_TRUE(
        dbsvr->process().readAllStandardError().contains("dbsvr: the log cannot be written: "));

    const QString logs = run.logs + " too";
    run.environment = {LogsFolderIs(logs)};
    run.holdParent();
    dbsvr = &run.start();
    const auto log = [&] { return DailyLog(logs, "DBSRV", dbsvr->pid()); };
    ASSERT_TRUE(Eventually([&] { return log().contains("'Serving "); }));
    SetLimit(dbsvr->pid(), RLIMIT_FSIZE, rlim_t(log().size()));
    EXPECT_EQ(run.ask("<XML><Type>Ping</Type></XML>").text("/XML/Type"), "Pong");
    run.releaseParent(); // its last line passes the limit
    EXPECT_EQ(dbsvr->finish(), 0);
    EXPECT_FALSE(log().contains("Closing data server."));
}

TEST(DataServerProcess, ReportsAnUnusableDatabaseAndPicksUpTheFix) {
    DataServerRun run;
    dbsvr::SaveDatabaseSetting(run.app, "missing.db");
    run.holdParent();
    ChildProcess& dbsvr = run.start();
    ASSERT_TRUE(Eventually([&] { return common::FileExists(run.message); }));
    EXPECT_TRUE(run.running()); // the running token comes first, and stays
    const Reply message(common::ReadFile(run.message));
    EXPECT_EQ(message.text("/XML/Type"), "Message");
    EXPECT_EQ(message.text("/XML/Code"), "UnableToConnectDB");
    EXPECT_TRUE(message.text("/XML/Message").contains("missing.db"));

    EXPECT_EQ(run.ask("<XML><Type>Ping</Type></XML>").text("/XML/Type"), "Pong");
    EXPECT_EQ(run.ask("<XML><Type>ListTables</Type></XML>").text("/XML/Error"),
              "UnableToConnectDB");

    // Fixed through the configuration mode: served without a restart.
    dbsvr::SaveDatabaseSetting(run.app, "sample.db");
    ASSERT_TRUE(Eventually([&] {
        return run.ask("<XML><Type>ListTables</Type></XML>").text("/XML/Error").isEmpty();
    }));
    EXPECT_EQ(dbsvr.process().state(), QProcess::Running);
}

// A write is answered only once it is on disk: killed right after the reply, the data
// server loses nothing, and the same request sent to its successor is not applied again.
TEST(DataServerProcess, AnsweredWriteSurvivesAKillAndIsNotRepeated) {
    DataServerRun run;
    run.holdParent();
    const qint64 first = run.start().pid();
    ASSERT_TRUE(Eventually([&] { return run.running(); }));
    const QString add = addCustomerOnce();
    const Reply reply = run.ask(add);
    ::kill(pid_t(first), SIGKILL);
    EXPECT_EQ(reply.text("/XML/Error"), "");
    EXPECT_EQ(reply.text("/XML/LastInsertId"), "13");
    ASSERT_TRUE(Eventually([&] { return !run.running(); }));

    run.start();
    const Reply again = run.ask(add);
    EXPECT_EQ(again.text("/XML/Error"), "");
    EXPECT_EQ(again.text("/XML/Duplicate"), "true");
    EXPECT_EQ(again.text("/XML/LastInsertId"), "13");
    EXPECT_EQ(run.ask("<XML><Type>ReadTable</Type><Table>customers</Table>"
                      "<Filter column=\"country\" op=\"eq\">Norway</Filter></XML>")
                  .text("/XML/Total"),
              "1");
}

// The data version in the reply queue vouches for earlier replies: it changes before the
// reply to a write is readable, and soon after another program writes the file; reads leave
// it alone; a data server that ends withdraws it, and its successor's versions are new.
TEST(DataServerProcess, DataVersionChangesWithEveryWriteWhoeverMakesIt) {
    DataServerRun run;
    run.holdParent();
    run.start();
    ASSERT_TRUE(Eventually([&] { return run.running(); }));
    const auto version = [&] { return components::ReadDataVersion(run.results); };
    // Settled: the file events of a write (and of opening the database for its journal) may
    // still bump it for a moment.
    const auto settledVersion = [&] {
        QString settled = version();
        EXPECT_TRUE(Eventually([&] {
            const QString now = version();
            const bool same = now == settled && !now.isEmpty();
            settled = now;
            return same;
        }));
        return settled;
    };
    const QString first = settledVersion();

    run.ask("<XML><Type>ReadTable</Type><Table>customers</Table></XML>");
    run.ask("<XML><Type>ListTables</Type></XML>");
    EXPECT_EQ(version(), first);

    const QString add = addCustomerOnce();
    ASSERT_EQ(run.ask(add).text("/XML/Error"), "");
    const QString afterWrite = version(); // read right after the reply: no waiting
    EXPECT_NE(afterWrite, first);

    // Settled, then another program writes.
    const QString settled = settledVersion();
    QueryValue(run.app + "/sample.db",
               "UPDATE customers SET city = 'Oslo' WHERE country = 'Norway'");
    EXPECT_TRUE(Eventually([&] { return version() != settled; }));

    run.releaseParent();
    ASSERT_TRUE(Eventually([&] { return !run.running(); }));
    EXPECT_EQ(version(), "");
    run.holdParent();
    run.start();
    ASSERT_TRUE(Eventually([&] { return !version().isEmpty(); }));
    EXPECT_NE(version(), first);
    EXPECT_NE(version(), settled);
}

// A database file replaced under the data server (a new copy moved over its name) is served
// from then on: its rows, writes into it (never "read-only" because the old file is gone), and a
// new data version, so that no kept reply of the old file is reused. Removed, it is reported.
TEST(DataServerProcess, ServesADatabaseFileReplacedUnderIt) {
    DataServerRun run;
    run.holdParent();
    run.start();
    ASSERT_TRUE(Eventually([&] { return run.running(); }));
    const QString database = run.app + "/sample.db";
    const QString customers = "<XML><Type>ReadTable</Type><Table>customers</Table></XML>";
    ASSERT_EQ(run.ask(customers).text("/XML/Total"), "12");
    const auto version = [&] { return components::ReadDataVersion(run.results); };
    ASSERT_TRUE(Eventually([&] { return !version().isEmpty(); }));
    const QString before = version();

    const QString replacement = run.app + "/replacement.db";
    ASSERT_TRUE(QFile::copy(database, replacement));
    MakeDatabase(replacement, "INSERT INTO customers (name, city, country) VALUES "
                              "('Moved', 'Lyon', 'France'), ('Over', 'Graz', 'Austria')");
    const QString remaining = QueryValue(replacement, "SELECT count(*) FROM customers");
    ASSERT_EQ(remaining, "14");
    ASSERT_EQ(::rename(QFile::encodeName(replacement).constData(),
                       QFile::encodeName(database).constData()),
              0);

    EXPECT_EQ(run.ask(customers).text("/XML/Total"), remaining);
    EXPECT_NE(version(), before);
    const Reply written = run.ask(addCustomerOnce());
    EXPECT_EQ(written.text("/XML/Error"), "") << written.raw.constData();
    EXPECT_EQ(QueryValue(database, "SELECT count(*) FROM customers WHERE country = 'Norway'"), "1");

    ASSERT_TRUE(QFile::remove(database));
    EXPECT_EQ(run.ask(customers).text("/XML/Error"), "UnableToConnectDB");
    EXPECT_EQ(version(), "");
}

// Statements that never end (the ceiling far away) on both workers: a read sent after the first
// is answered meanwhile, a ping is answered while both run, a cancel frees a worker for the next
// message, and a cancelled message that still waits is answered without running.
TEST(DataServerProcess, PingsAndCancelsAreServedWhileEveryWorkerIsBusy) {
    DataServerRun run;
    const QString config = run.app + "/dataserver.xml";
    QString xml = QString::fromUtf8(common::ReadFile(config));
    xml.replace("</Queries>", "<Query name=\"Endless\"><Sql>WITH RECURSIVE c(i) AS (SELECT 1 "
                              "UNION ALL SELECT i + 1 FROM c) SELECT count(*) FROM c</Sql></Query>"
                              "</Queries><Workers>2</Workers>"
                              "<StatementTimeLimit>3600</StatementTimeLimit>");
    common::SaveFile(config, xml.toUtf8());
    run.holdParent();
    run.start();
    ASSERT_TRUE(Eventually([&] { return run.running(); }));
    const auto send = [&](const QString& body) {
        components::Queue out;
        out.folder = run.requests;
        out.package = body;
        return out.send({});
    };
    const auto answered = [&](const QString& id) {
        return common::FileExists(run.results + "/" + id + components::MESSAGE_SUFFIX);
    };
    const auto cancel = [&](const QString& id) {
        send("<XML><Type>Cancel</Type><Id>" + id + "</Id></XML>");
    };
    const QString endless = "<XML><Type>Query</Type><Name>Endless</Name></XML>";
    const QString products = "<XML><Type>ReadTable</Type><Table>products</Table></XML>";

    const QString first = send(endless);
    EXPECT_EQ(run.ask(products).text("/XML/Total"), "18");
    // Taken after the read by the worker that served it; what comes later waits for a worker.
    const QString second = send(endless);
    EXPECT_EQ(run.ask("<XML><Type>Ping</Type></XML>").text("/XML/Type"), "Pong");
    const QString third = send(endless);
    cancel(third);
    cancel(first);
    components::Queue in;
    in.folder = run.results;
    ASSERT_EQ(in.Poll(first, WAIT_MS), first);
    EXPECT_EQ(Reply(in.package.toUtf8()).text("/XML/Error"), "DatabaseError");
    ASSERT_EQ(in.Poll(third, WAIT_MS), third);
    EXPECT_TRUE(Reply(in.package.toUtf8()).text("/XML/Message").contains("before it began"));
    EXPECT_EQ(run.ask(products).text("/XML/Total"), "18");
    EXPECT_FALSE(answered(second));
    cancel(second);
    ASSERT_EQ(in.Poll(second, WAIT_MS), second);
}

// A data server on a PostgreSQL server of the test's own, which the test stops and starts.
class PostgresqlRun : public ::testing::Test {
protected:
    void SetUp() override {
        if (PgCluster::BinDir().isEmpty())
            GTEST_SKIP() << "PostgreSQL is not installed (no initdb)";
        ASSERT_TRUE(m_cluster.valid()) << m_cluster.error().toStdString();
        ASSERT_TRUE(m_cluster.start()) << m_cluster.error().toStdString();
        m_database = m_cluster.createDatabase(TEST_SCHEMA_POSTGRESQL);
        ASSERT_FALSE(m_database.isEmpty()) << m_cluster.error().toStdString();
        WriteConfig(m_run.app, m_cluster.connectionString(m_database),
                    QString(TEST_QUERIES) +
                        "<Query name=\"Slow\"><Parameter name=\"seconds\" type=\"real\"/>"
                        "<Sql>SELECT pg_sleep(:seconds)</Sql></Query>",
                    "postgresql");
        m_run.holdParent();
    }
    // Sends a request without waiting for its reply; its id.
    QString send(const QString& xml) {
        components::Queue out;
        out.folder = m_run.requests;
        out.package = xml;
        return out.send({});
    }

    QString version() const { return components::ReadDataVersion(m_run.results); }

    PgCluster m_cluster;
    QString m_database;
    DataServerRun m_run;
};

// The data version of a database on PostgreSQL is the server's own account of commits: reads
// leave it alone, a write through the data server changes it before the reply can be read, a
// write by another client soon after (and the next read shows that write), a schema change
// too. A server that goes away takes it along.
TEST_F(PostgresqlRun, DataVersionFollowsTheCommitsOfEveryClient) {
    m_run.start();
    ASSERT_TRUE(Eventually([&] { return !version().isEmpty(); }));
    const QString first = version();
    const QString orders = "<XML><Type>ReadTable</Type><Table>orders</Table></XML>";
    ASSERT_EQ(m_run.ask(orders).text("/XML/Total"), "4");
    m_run.ask("<XML><Type>ListTables</Type></XML>");
    m_run.ask("<XML><Type>DescribeTable</Type><Table>orders</Table></XML>");
    m_run.ask("<XML><Type>Query</Type><Name>AllCustomers</Name></XML>");
    EXPECT_EQ(version(), first);

    const Reply added = m_run.ask("<XML><Type>Query</Type><Name>AddOrder</Name><Parameters>"
                                  "<Parameter name=\"customer\">1</Parameter>"
                                  "<Parameter name=\"amount\">2.5</Parameter></Parameters></XML>");
    ASSERT_EQ(added.text("/XML/Changes"), "1") << added.raw.constData();
    const QString afterWrite = version(); // read right after the reply: no waiting
    EXPECT_NE(afterWrite, first);
    EXPECT_EQ(m_run.ask(orders).text("/XML/Total"), "5");

    ASSERT_TRUE(m_cluster.exec(m_database, "INSERT INTO orders (customer_id, amount) "
                                           "VALUES (2, 7.25)"));
    ASSERT_TRUE(Eventually([&] { return version() != afterWrite; }));
    EXPECT_EQ(m_run.ask(orders).text("/XML/Total"), "6");

    const QString beforeAlter = version();
    ASSERT_TRUE(m_cluster.exec(m_database, "ALTER TABLE orders ADD COLUMN note TEXT"));
    ASSERT_TRUE(Eventually([&] { return version() != beforeAlter; }));
    EXPECT_EQ(m_run.ask(orders).count("/XML/Columns/Column"), 4u);

    ASSERT_TRUE(m_cluster.stop());
    EXPECT_TRUE(Eventually([&] { return version().isEmpty(); }));
}

// The version's own connection ended by the server (an administrator's pg_terminate_backend)
// while the database's lives on: the version goes, and a later request brings it back.
TEST_F(PostgresqlRun, DataVersionComesBackAfterItsConnectionEnded) {
    m_run.start();
    ASSERT_TRUE(Eventually([&] { return !version().isEmpty(); }));
    const QString orders = "<XML><Type>ReadTable</Type><Table>orders</Table></XML>";
    ASSERT_EQ(m_run.ask(orders).text("/XML/Total"), "4");
    ASSERT_EQ(m_cluster.value(m_database,
                              "SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity "
                              "WHERE application_name = 'quorvex dbsvr' AND query LIKE "
                              "'%current_snapshot%'"),
              "1");
    ASSERT_TRUE(Eventually([&] { return version().isEmpty(); }));
    EXPECT_TRUE(Eventually(
        [&] { return m_run.ask(orders).text("/XML/Total") == "4" && !version().isEmpty(); }));
}

TEST_F(PostgresqlRun, ServerDownAtStartIsReportedAndUsedOnceItIsUp) {
    ASSERT_TRUE(m_cluster.stop());
    m_run.start();
    ASSERT_TRUE(Eventually([&] { return common::FileExists(m_run.message); }));
    const Reply message(common::ReadFile(m_run.message));
    EXPECT_EQ(message.text("/XML/Type"), "Message");
    EXPECT_EQ(message.text("/XML/Code"), "UnableToConnectDB");
    EXPECT_FALSE(message.text("/XML/Message").isEmpty());
    EXPECT_EQ(m_run.ask("<XML><Type>ListTables</Type></XML>").text("/XML/Error"),
              "UnableToConnectDB");

    ASSERT_TRUE(m_cluster.start());
    ASSERT_TRUE(Eventually([&] {
        return m_run.ask("<XML><Type>ListTables</Type></XML>").text("/XML/Error").isEmpty();
    }));
}

TEST_F(PostgresqlRun, ServerRestartFailsTheRequestInFlightAndNotTheNext) {
    m_run.start();
    ASSERT_EQ(m_run.ask("<XML><Type>ListTables</Type></XML>").text("/XML/Error"), "");
    QThread::msleep(
        dbsvr::DataService::RECONNECT_INTERVAL_MS); // the next request may connect at once
    // Longer than any wait below: a reply before the query could have ended is the stop's.
    constexpr int SLOW_SECONDS = 300;
    const QString slow = send(QStringLiteral("<XML><Type>Query</Type><Name>Slow</Name><Parameters>"
                                             "<Parameter name=\"seconds\">%1</Parameter>"
                                             "</Parameters></XML>")
                                  .arg(SLOW_SECONDS));
    // Taken from the queue: the data server is running it.
    ASSERT_TRUE(Eventually([&] {
        return !common::FileExists(m_run.requests + "/" + slow + components::MESSAGE_SUFFIX);
    }));
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(m_cluster.stop());
    components::Queue in;
    in.folder = m_run.results;
    ASSERT_EQ(in.Poll(slow, WAIT_MS), slow);
    EXPECT_LT(clock.elapsed(), SLOW_SECONDS * 1000);
    const Reply failed(in.package.toUtf8());
    EXPECT_EQ(failed.text("/XML/Type"), "Error");
    EXPECT_EQ(failed.text("/XML/Error"), "UnableToConnectDB") << failed.raw.constData();

    ASSERT_TRUE(m_cluster.start());
    const Reply next = m_run.ask("<XML><Type>ReadTable</Type><Table>orders</Table></XML>");
    EXPECT_EQ(next.text("/XML/Error"), "") << next.raw.constData();
    EXPECT_EQ(next.text("/XML/Total"), "4");
}

TEST(DataServerProcess, DoesNotStartForAParentThatIsGone) {
    DataServerRun run;
    EXPECT_EQ(run.start().finish(5000), 0);
    EXPECT_FALSE(common::FileExists(run.alive));
    EXPECT_FALSE(common::FileExists(run.message));
}

TEST(DataServerProcess, HeldRunningTokenIsACriticalError) {
    DataServerRun run;
    run.holdParent();
    const int held = dataserver::CreateInstanceMutex(run.runningMutex);
    const int exitCode = run.start().finish(10000);
    dataserver::DestroyInstanceMutex(held);
    EXPECT_EQ(exitCode, 1);
    const Reply message(common::ReadFile(run.message));
    EXPECT_EQ(message.text("/XML/Type"), "Critical");
    EXPECT_EQ(message.text("/XML/Code"), "183");
    EXPECT_FALSE(message.text("/XML/Message").isEmpty());
}

TEST(DataServerProcess, ConfigurationModeOnTheCommandLine) {
    QTemporaryDir dir;
    const QString app = dir.filePath("my app");
    QDir().mkpath(app + "/data");
    ASSERT_TRUE(
        QFile::copy(StageDir() + "/examples/microsoft access/sample.db", app + "/data/shop.db"));
    auto runConfig = [&](const QStringList& arguments, QByteArray* out) {
        ChildProcess p(stagedProgram(), arguments, {LogsFolderIs(dir.filePath("Logs"))}, app);
        const int exitCode = p.finish(10000);
        *out = p.process().readAllStandardOutput() + p.process().readAllStandardError();
        return exitCode;
    };
    QByteArray out;
    // The web server's form, with commas; the file given relative to the current folder.
    EXPECT_EQ(
        runConfig({"mode=config,", "configfolder=\"" + app + "\"", "database=data/shop.db"}, &out),
        0);
    EXPECT_TRUE(out.contains("set to data/shop.db")) << out.constData();
    EXPECT_EQ(dbsvr::Config::Load(app).databasePath(), app + "/data/shop.db");

    EXPECT_EQ(runConfig({"mode=config", "configfolder=" + app}, &out), 0);
    EXPECT_TRUE(out.contains("Database: data/shop.db")) << out.constData();
    EXPECT_TRUE(out.contains("the database opens")) << out.constData();

    EXPECT_EQ(runConfig({"mode=config", "configfolder=" + app + "/nope"}, &out), 2);
}

} // namespace
