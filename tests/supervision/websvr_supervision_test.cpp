// The staged websvr supervising the staged dbsvr, with faults injected from outside.
#include "components/queue.h"
#include "contract/namedmutex.h"
#include "standin.h"
#include "supervision/launch.h"
#include "supervision/watchdog.h"
#include "tests/dbsvr/pgcluster.h"
#include "tests/support/processes.h"
#include "tests/support/programfolder.h"
#include "tests/support/qtprinters.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

using namespace support;

namespace {

// The running children of process pid.
QList<qint64> children(qint64 pid) {
    QList<qint64> pids;
    const QString list =
        QString::fromLatin1(ReadFile(QStringLiteral("/proc/%1/task/%1/children").arg(pid)));
    for (const QString& child : list.split(' ', Qt::SkipEmptyParts))
        if (ProcessRuns(child.toLongLong()))
            pids << child.toLongLong();
    return pids;
}

// The lowest descriptor number process pid has free: with that as its limit, it can open
// nothing more. A descriptor it holds for a moment (a token check's socket) may hide a free
// one, so whoever sets that limit sets it again until it bites.
rlim_t lowestFreeDescriptor(qint64 pid) {
    rlim_t fd = 0;
    while (QFile::exists(QStringLiteral("/proc/%1/fd/%2").arg(pid).arg(fd)))
        ++fd;
    return fd;
}

// What process pid holds open, one "number -> target" line each, for a failure message.
std::string descriptors(qint64 pid) {
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    std::string lines = "descriptors:\n";
    for (const QString& fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        lines += (fd + QStringLiteral(" -> ") + QFile::symLinkTarget(fds.filePath(fd)) + '\n')
                     .toStdString();
    return lines;
}

// A wait of websvr's that ends early (a stop, a data server that ended) ends well before its
// own limit would: half of that limit tells the two apart and leaves a loaded machine room.
constexpr int wellBefore(int limitMs) {
    return limitMs / 2;
}

// Puts a request into a queue folder as the web application does; its id.
QString sendRequest(const QString& folder, const QString& body) {
    components::Queue out;
    out.folder = folder;
    out.package = body;
    return out.send({});
}

// Has websvr's watchdog act on a message file ("Done" asks for nothing) and waits until a tick
// has taken it: that tick checked the alive file first.
bool watchdogTicked(const QString& messageFile) {
    WriteFile(messageFile + ".new", "<XML><Type>Done</Type><Code>0</Code><Message/></XML>");
    return QFile::rename(messageFile + ".new", messageFile) &&
           Eventually([&] { return !QFile::exists(messageFile); });
}

// The advisory lock the test's own session holds while the data server's statements wait for
// it, and the named query that waits: it costs no CPU meanwhile, and it holds the lock only
// for its own transaction, so all of them end together once the test lets go.
constexpr int GATE_LOCK = 4217;
const QString GATE_QUERY = QStringLiteral("WaitAtTheGate");

// The statements that wait for the gate's lock in the session's database.
int waitingAtTheGate(PgSession& session) {
    return session
        .value(QStringLiteral("SELECT count(*) FROM pg_locks WHERE locktype = 'advisory' AND NOT "
                              "granted AND objid = %1 AND database = (SELECT oid FROM pg_database "
                              "WHERE datname = current_database())")
                   .arg(GATE_LOCK))
        .toInt();
}

// Adds the gate's query to an application's dataserver.xml, with workers workers and a
// statement time limit far beyond any wait of the test.
bool addGate(const QString& config, int workers) {
    QString xml = QString::fromUtf8(ReadFile(config));
    xml.replace("</Queries>", QStringLiteral("<Query name=\"%1\"><Sql>SELECT "
                                             "pg_advisory_xact_lock_shared(%2) AS waited</Sql>"
                                             "</Query></Queries><Workers>%3</Workers>"
                                             "<StatementTimeLimit>3600</StatementTimeLimit>")
                                  .arg(GATE_QUERY)
                                  .arg(GATE_LOCK)
                                  .arg(workers));
    return WriteFile(config, xml.toUtf8());
}

class WebsvrSupervisionTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_program.isValid()); }
    // A test that failed half-way must not leave (stopped) data servers behind.
    void TearDown() override {
        for (const qint64 pid : m_dataServers)
            if (ProcessRuns(pid))
                ::kill(pid_t(pid), SIGKILL);
    }

    // Starts "websvr hidden" and waits until it serves.
    void startServing() {
        m_websvr = &m_program.startWebsvr({"hidden"});
        ASSERT_TRUE(m_websvr->readLine().startsWith("Serving http://"))
            << log().toStdString() << m_websvr->process().readAllStandardError().toStdString();
    }
    QString log() const { return m_program.log(m_websvr->pid()); }
    // How websvr ended, for a failure message: its exit and what it printed on standard error.
    std::string ending() {
        QProcess& process = m_websvr->process();
        return QStringLiteral("exit status %1, code %2, error output:\n%3")
            .arg(process.exitStatus())
            .arg(process.exitCode())
            .arg(QString::fromLocal8Bit(process.readAllStandardError()))
            .toStdString();
    }
    // The log quotes its fields, doubling the apostrophes inside.
    int logCount(const QString& text) const {
        return int(log().count(QString(text).replace("'", "''")));
    }
    // Waits until the log holds text at least count times.
    bool logged(const QString& text, int count = 1, int timeoutMs = WAIT_MS) const {
        return Eventually([&] { return logCount(text) >= count; }, timeoutMs);
    }
    // The data servers started so far, in order.
    QList<qint64> dataServers() {
        QList<qint64> pids;
        static const QRegularExpression line("Data server process id: (\\d+)");
        for (const auto& match : line.globalMatch(log()))
            pids << match.captured(1).toLongLong();
        for (const qint64 pid : pids)
            if (!m_dataServers.contains(pid))
                m_dataServers << pid;
        return pids;
    }
    // A replacement has started and taken its token: dynamic requests reach the (missing)
    // web application again.
    void expectReplaced(qint64 first) {
        ASSERT_TRUE(Eventually([this] { return dataServers().size() == 2; }));
        QByteArray answer;
        EXPECT_TRUE(Eventually([&] {
            answer = m_program.get("/");
            return answer.startsWith("HTTP/1.1 ") && !answer.contains("Data Server is not running");
        })) << answer.toStdString();
        EXPECT_TRUE(ProcessRuns(dataServers().last()));
        // The old one was reaped, not left as a zombie.
        EXPECT_TRUE(Eventually([first] { return ProcessState(first) == 0; }));
    }

    ProgramFolder m_program;
    ChildProcess* m_websvr = nullptr;
    QList<qint64> m_dataServers;
};

TEST_F(WebsvrSupervisionTest, AKilledDataServerIsReplacedAtTheNextTick) {
    startServing();
    const qint64 first = dataServers().first();
    static const QRegularExpression parentLine("Data Server Parent Mutex: ([0-9A-F-]+),");
    const QString oldParent = parentLine.match(log()).captured(1);
    ASSERT_TRUE(dataserver::MutexExists(oldParent));
    ::kill(pid_t(first), SIGKILL);
    ASSERT_TRUE(logged("The Data Server has stopped running for some reason. Let's start it."));
    expectReplaced(first);
    // The dead one's parent token is not kept: the new data server has its own.
    EXPECT_FALSE(dataserver::MutexExists(oldParent));
    EXPECT_EQ(logCount("Data Server ping failed"), 0);
    EXPECT_EQ(logCount("Failed to start the Data Server"), 0);
}

TEST_F(WebsvrSupervisionTest, AHangingDataServerIsTerminatedAndReplaced) {
    startServing();
    const qint64 first = dataServers().first();
    ::kill(pid_t(first), SIGSTOP);
    // Up to 30 s for the alive file to age, 20 s for the stopped one to end by itself.
    ASSERT_TRUE(logged("Data Server may hang. Last alive signal was ")) << log().toStdString();
    ASSERT_TRUE(logged("Terminate data server process")) << log().toStdString();
    expectReplaced(first);
    EXPECT_EQ(logCount("Restart Data Server"), 1);
    EXPECT_EQ(logCount("Restart of Data Server failed"), 0);
}

TEST_F(WebsvrSupervisionTest, StatementsBusyOnEveryWorkerDoNotPassForAHang) {
    PgCluster* cluster = PgCluster::Shared();
    if (!cluster)
        GTEST_SKIP() << PgCluster::SkipReason().toStdString();
    const QString database = cluster->createSampleDatabase();
    ASSERT_FALSE(database.isEmpty()) << cluster->error().toStdString();
    constexpr int workers = 4;
    const QString config = m_program.path("examples/microsoft access/dataserver.xml");
    ASSERT_TRUE(cluster->serveFrom(config, database) && addGate(config, workers));
    PgSession gatekeeper(cluster->connectionString(database));
    ASSERT_TRUE(gatekeeper.valid()) << gatekeeper.error().toStdString();
    ASSERT_TRUE(gatekeeper.exec(QStringLiteral("SELECT pg_advisory_lock(%1)").arg(GATE_LOCK)))
        << gatekeeper.error().toStdString();

    startServing();
    const qint64 dbsvr = dataServers().first();
    const QString instance = m_program.instanceFolder(m_websvr->pid());
    const QString requests = instance + "/Queue/requests";
    components::Queue results;
    results.folder = instance + "/Queue/results";

    // Straight into the queue: a page would give up its wait long before the watchdog's.
    QStringList held;
    for (int k = 0; k < workers; ++k)
        held << sendRequest(requests, "<XML><Type>Query</Type><Name>" + GATE_QUERY +
                                          "</Name><Parameters/></XML>");
    ASSERT_TRUE(Eventually([&] { return waitingAtTheGate(gatekeeper) == workers; }))
        << "waiting: " << waitingAtTheGate(gatekeeper) << "\n"
        << DailyLog(m_program.path("data/Logs"), "DBSRV", dbsvr).toStdString();
    const QDateTime allHeld = QDateTime::currentDateTime();

    // No worker is free, and a ping is answered all the same.
    const QString ping = sendRequest(requests, "<XML><Type>Ping</Type></XML>");
    ASSERT_EQ(results.Poll(ping, WAIT_MS), ping);
    EXPECT_TRUE(results.package.contains("<Type>Pong</Type>")) << results.package.toStdString();

    // The alive file is rewritten past the time a data server stuck since then would have
    // been taken for a hung one, and the watchdog looks at it after that.
    const QString alive = instance + ".dataserver.alive.xml";
    const QDateTime hangSeen = allHeld.addMSecs(qint64(dataserver::HANG_SECONDS * 1000));
    ASSERT_TRUE(Eventually([&] { return QFileInfo(alive).lastModified() > hangSeen; },
                           int(dataserver::HANG_SECONDS * 1000) + WAIT_MS))
        << log().toStdString();
    ASSERT_TRUE(watchdogTicked(instance + ".dataserver.message.xml")) << log().toStdString();

    EXPECT_EQ(logCount("Data Server may hang"), 0) << log().toStdString();
    EXPECT_EQ(logCount("Terminate data server process"), 0);
    EXPECT_EQ(logCount("Restart Data Server"), 0);
    EXPECT_EQ(dataServers(), QList<qint64>{dbsvr});
    EXPECT_TRUE(ProcessRuns(dbsvr));
    // Still waiting: none of them ended early or was stopped.
    EXPECT_EQ(waitingAtTheGate(gatekeeper), workers);

    ASSERT_TRUE(gatekeeper.exec(QStringLiteral("SELECT pg_advisory_unlock(%1)").arg(GATE_LOCK)));
    for (const QString& id : held) {
        ASSERT_EQ(results.Poll(id, WAIT_MS), id);
        EXPECT_TRUE(results.package.contains("<Type>Rows</Type>") &&
                    results.package.contains("<Count>1</Count>"))
            << results.package.toStdString();
    }
}

TEST_F(WebsvrSupervisionTest, ADataServerThatNeverTakesItsTokenEndsTheStart) {
    WriteDataServerStandIn(m_program.path("dbsvr"), false);
    m_websvr = &m_program.startWebsvr({"hidden"});
    EXPECT_EQ(m_websvr->finish(dataserver::START_WAIT_MS + WAIT_MS), 2);
    EXPECT_TRUE(log().contains("Unable to start data server"));
    EXPECT_FALSE(log().contains("Start serving pages"));
    ASSERT_EQ(dataServers().size(), 1);
    const qint64 standIn = dataServers().first();
    EXPECT_TRUE(Eventually([standIn] { return !ProcessRuns(standIn); }));
}

TEST_F(WebsvrSupervisionTest, AStopDuringTheStartWaitDoesNotWaitForItsEnd) {
    WriteDataServerStandIn(m_program.path("dbsvr"), false);
    m_websvr = &m_program.startWebsvr({"hidden"});
    ASSERT_TRUE(Eventually([this] { return log().contains("Data server process id: "); }));
    ::kill(pid_t(m_websvr->pid()), SIGTERM);
    // Not the 30 seconds the start would otherwise wait for the token.
    EXPECT_EQ(m_websvr->finish(wellBefore(dataserver::START_WAIT_MS)), 0);
    EXPECT_FALSE(log().contains("Start serving pages"));
    ASSERT_EQ(dataServers().size(), 1);
    const qint64 standIn = dataServers().first();
    EXPECT_TRUE(Eventually([standIn] { return !ProcessRuns(standIn); }));
}

TEST_F(WebsvrSupervisionTest, WaitsEndOnceTheirOutcomeIsKnown) {
    // A stop asked for while a restart waits for the old data server to end: the restart
    // ends there, without a new data server that would only be killed at once.
    startServing();
    const qint64 first = dataServers().first();
    ::kill(pid_t(first), SIGSTOP); // it cannot end by itself, so the stop waits
    const QString message = m_program.instanceFolder(m_websvr->pid()) + ".dataserver.message.xml";
    WriteFile(message + ".new",
              "<XML><Type>Restart</Type><Code>7</Code><Message>m</Message></XML>");
    QFile::rename(message + ".new", message);
    ASSERT_TRUE(logged("Restart Data Server"));
    ::kill(pid_t(m_websvr->pid()), SIGTERM);
    // Not the 20 seconds the restart would otherwise wait for the old one to end.
    EXPECT_EQ(m_websvr->finish(wellBefore(dataserver::STOP_WAIT_MS)), 0);
    EXPECT_EQ(dataServers().size(), 1);
    EXPECT_TRUE(Eventually([first] { return !ProcessRuns(first); }));

    // A data server that ends at once never takes its token: the start gives up then,
    // not 30 seconds later.
    WriteFile(m_program.path("dbsvr"), "#!/bin/sh\nexit 3\n");
    ChildProcess& failing = m_program.startWebsvr({"hidden"});
    EXPECT_EQ(failing.finish(wellBefore(dataserver::START_WAIT_MS)), 2);
    EXPECT_TRUE(m_program.log(failing.pid()).contains("Unable to start data server"));
}

TEST_F(WebsvrSupervisionTest, ALogThatCannotBeWrittenOrAFailedTokenCheckEndsNothing) {
    const QString parent = UniqueName("parent");
    TokenHolder holder(parent);
    ASSERT_TRUE(holder.ready());
    m_websvr = &m_program.startWebsvr({"hidden", "parentmutex=" + parent});
    ASSERT_TRUE(m_websvr->readLine().startsWith("Serving http://"));
    const qint64 websvr = m_websvr->pid();
    const qint64 first = dataServers().first();

    // No descriptor left for the token checks of a tick: the parent (checked first) and the
    // data server keep their last known state, so that tick goes on to the data server and
    // ends nothing.
    EXPECT_TRUE(Eventually([&] {
        SetLimit(websvr, RLIMIT_NOFILE, lowestFreeDescriptor(websvr));
        return logCount("Unable to check the token ") >= 2;
    })) << log().toStdString()
        << descriptors(websvr) << ending();
    SetLimit(websvr, RLIMIT_NOFILE, RLIM_INFINITY);
    // Still serving once the failing ticks are over: had one ended the run, its listener
    // would be closed by now.
    EXPECT_TRUE(m_program.get("/index.htm").startsWith("HTTP/1.1 200 OK"));
    ASSERT_EQ(m_websvr->process().state(), QProcess::Running) << ending();
    EXPECT_FALSE(log().contains("is not active. Closing web server."));
    EXPECT_EQ(children(websvr), QList<qint64>{first});

    // The disk is full: the next entry is cut off after a few bytes, the rest fail whole.
    SetLimit(websvr, RLIMIT_FSIZE, rlim_t(log().size() + 20));
    ::kill(pid_t(first), SIGKILL);
    QList<qint64> replaced;
    ASSERT_TRUE(Eventually([&] {
        replaced = children(websvr);
        return !replaced.isEmpty() && replaced.first() != first;
    })) << "no data server was started again";
    m_dataServers << replaced.first();
    EXPECT_TRUE(m_program.get("/index.htm").startsWith("HTTP/1.1 200 OK"));
    QByteArray dynamic;
    EXPECT_TRUE(Eventually([&] {
        dynamic = m_program.get("/");
        return dynamic.startsWith("HTTP/1.1 ") && !dynamic.contains("Data Server is not running");
    })) << dynamic.toStdString();

    SetLimit(websvr, RLIMIT_FSIZE, RLIM_INFINITY);
    EXPECT_TRUE(m_program.get("/index.htm").startsWith("HTTP/1.1 200 OK")); // an entry again
    ASSERT_TRUE(logged("Log entries lost while the log could not be written: "));
    EXPECT_EQ(logCount("Log entries lost"), 1);
    EXPECT_EQ(logCount("The Data Server has stopped running"), 0); // lost, not half-written
    EXPECT_EQ(logCount("Unable to check the token "), 2); // parent and data server, once each
    // Every entry begins a line of its own: none is glued to a cut-off one.
    static const QRegularExpression gluedEntry(
        "[^\\n]'\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d', \\d+, \\d, ");
    EXPECT_FALSE(gluedEntry.match(log()).hasMatch()) << log().toStdString();

    holder.release();
    EXPECT_EQ(m_websvr->finish(), 0);
}

TEST_F(WebsvrSupervisionTest, AKilledWebServerTakesItsDataServerWithIt) {
    startServing();
    const qint64 dbsvr = dataServers().first();
    ::kill(pid_t(m_websvr->pid()), SIGKILL);
    m_websvr->finish();
    EXPECT_TRUE(Eventually([dbsvr] { return !ProcessRuns(dbsvr); }));
}

} // namespace
