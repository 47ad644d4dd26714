// The staged websvr supervising the staged dbsvr, with faults injected from outside.
#include "supervisiontest.h"

#include "dataserver/namedmutex.h"

#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace supervisiontest;

namespace {

const int WAIT_MS = 20000;

void copyTree(const QString& from, const QString& to) {
    QDir().mkpath(to);
    QDirIterator it(from, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString target = to + "/" + info.fileName();
        if (!info.isDir())
            QFile::copy(info.filePath(), target);
        else if (info.fileName() != "data" && info.fileName() != "Temp") // left by earlier runs
            copyTree(info.filePath(), target);
    }
}

int freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

class WebsvrSupervisionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        copyTree(stageDir(), program());
        QDir().mkpath(m_dir.filePath("temp"));
        m_port = freePort();
        writeFile(program("data/config/webserver.xml"),
                  QString("<Settings><TCPPort>%1</TCPPort></Settings>").arg(m_port).toUtf8());
    }
    void TearDown() override {
        for (QProcess* p : m_processes) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished();
            }
            delete p;
        }
        // A test that failed half-way must not leave data servers behind.
        for (const qint64 pid : m_dataServers)
            if (processRuns(pid))
                ::kill(pid_t(pid), SIGKILL);
    }

    QString program(const QString& name = {}) const {
        return m_dir.filePath("program") + (name.isEmpty() ? "" : "/" + name);
    }
    QString instanceFile(const char* suffix) const {
        return m_dir.filePath("temp") + "/Quorvex/" + QString::number(m_pid) + suffix;
    }

    // Starts "websvr hidden" and waits until it serves.
    void startServing() {
        start();
        while (!m_websvr->canReadLine() && m_websvr->state() == QProcess::Running)
            m_websvr->waitForReadyRead(500);
        ASSERT_TRUE(m_websvr->readLine().startsWith("Serving http://"))
            << logText().toStdString() << m_websvr->readAllStandardError().toStdString();
    }
    void start() {
        m_websvr = new QProcess;
        m_processes.append(m_websvr);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TEMP", m_dir.filePath("temp"));
        m_websvr->setProcessEnvironment(env);
        m_websvr->setWorkingDirectory(m_dir.path());
        m_websvr->start(program("websvr"), {"hidden"});
        ASSERT_TRUE(m_websvr->waitForStarted());
        m_pid = m_websvr->processId();
    }
    int finish(int timeoutMs = WAIT_MS) {
        EXPECT_TRUE(m_websvr->waitForFinished(timeoutMs));
        return m_websvr->exitStatus() == QProcess::NormalExit ? m_websvr->exitCode() : -1;
    }

    QString logText() const {
        const QDir logs(program("data/Logs"));
        const QStringList files =
            logs.entryList({QString("*-WEBSRV-%1.log").arg(m_pid)}, QDir::Files);
        return files.isEmpty() ? QString()
                               : QString::fromLatin1(readFile(logs.filePath(files.first())));
    }
    // The log quotes its fields, doubling the apostrophes inside.
    int logCount(const QString& text) const {
        return int(logText().count(QString(text).replace("'", "''")));
    }
    // Waits until the log holds text at least count times.
    bool logged(const QString& text, int count = 1, int timeoutMs = WAIT_MS) const {
        return eventually([&] { return logCount(text) >= count; }, timeoutMs);
    }
    // The data servers started so far, in order.
    QList<qint64> dataServers() {
        QList<qint64> pids;
        static const QRegularExpression line("Data server process id: (\\d+)");
        auto it = line.globalMatch(logText());
        while (it.hasNext())
            pids << it.next().captured(1).toLongLong();
        for (const qint64 pid : pids)
            if (!m_dataServers.contains(pid))
                m_dataServers << pid;
        return pids;
    }

    QByteArray get(const QString& path) const {
        QTcpSocket socket;
        socket.connectToHost("127.0.0.1", quint16(m_port));
        if (!socket.waitForConnected(WAIT_MS))
            return {};
        socket.write("GET " + path.toLatin1() + " HTTP/1.0\r\n\r\n");
        QByteArray answer;
        while (socket.waitForReadyRead(WAIT_MS))
            answer += socket.readAll();
        return answer + socket.readAll();
    }
    // Dynamic requests reach the (missing) web application once the data server runs.
    void expectDynamicPagesAllowed() {
        QByteArray answer;
        EXPECT_TRUE(eventually([&] {
            answer = get("/");
            return answer.startsWith("HTTP/1.1 ") && !answer.contains("Data Server is not running");
        })) << answer.toStdString();
    }

    QTemporaryDir m_dir;
    int m_port = 0;
    QProcess* m_websvr = nullptr;
    qint64 m_pid = 0;
    QList<QProcess*> m_processes;
    QList<qint64> m_dataServers;
};

TEST_F(WebsvrSupervisionTest, StartsItsDataServerAndEndsItOnSigterm) {
    startServing();
    const QString log = logText();
    qsizetype at = 0;
    for (const QString entry :
         {"Start data server", "Data Server Parent Mutex: ", "Data server command line: ",
          "Data server process id: ", "Check data server", "Start serving pages"}) {
        at = log.indexOf(entry, at);
        ASSERT_GE(at, 0) << entry.toStdString() << "\n" << log.toStdString();
    }
    EXPECT_FALSE(log.contains("Data Server ping failed"));
    ASSERT_EQ(dataServers().size(), 1);
    const qint64 dbsvr = dataServers().first();
    EXPECT_TRUE(processRuns(dbsvr));
    EXPECT_EQ(processArguments(dbsvr).value(2), "hidden");

    expectDynamicPagesAllowed();
    EXPECT_TRUE(get("/index.htm").startsWith("HTTP/1.1 200 OK\r\n"));
    ASSERT_TRUE(QFile::exists(instanceFile(".dataserver.alive.xml")));

    ::kill(pid_t(m_pid), SIGTERM);
    EXPECT_EQ(finish(), 0);
    EXPECT_TRUE(eventually([dbsvr] { return !processRuns(dbsvr); }, 5000));
    EXPECT_FALSE(QFile::exists(instanceFile(".dataserver.alive.xml")));
    EXPECT_FALSE(QFile::exists(instanceFile(".dataserver.message.xml")));
    EXPECT_FALSE(QDir(instanceFile("")).exists());
}

TEST_F(WebsvrSupervisionTest, AKilledDataServerIsReplacedAtTheNextTick) {
    startServing();
    const qint64 first = dataServers().first();
    static const QRegularExpression parentLine("Data Server Parent Mutex: ([0-9A-F-]+),");
    const QString oldParent = parentLine.match(logText()).captured(1);
    ASSERT_TRUE(dataserver::MutexExists(oldParent));
    ::kill(pid_t(first), SIGKILL);
    ASSERT_TRUE(logged("The Data Server has stopped running for some reason. Let's start it."));
    ASSERT_TRUE(eventually([this] { return dataServers().size() == 2; }));
    expectDynamicPagesAllowed(); // the new one has taken its token
    // The dead one's parent token is not kept: the new data server has its own.
    EXPECT_FALSE(dataserver::MutexExists(oldParent));
    const qint64 second = dataServers().last();
    EXPECT_NE(second, first);
    EXPECT_TRUE(processRuns(second));
    // The killed one was reaped, not left as a zombie.
    EXPECT_TRUE(eventually([first] { return processState(first) == 0; }));
    EXPECT_EQ(logCount("Data Server ping failed"), 0);
    EXPECT_EQ(logCount("Failed to start the Data Server"), 0);
}

TEST_F(WebsvrSupervisionTest, ARestartMessageGivesNewTokensAndANewParameterFile) {
    startServing();
    const qint64 first = dataServers().first();
    const QByteArray before = readFile(instanceFile(".dataserver.parameters.txt"));
    ASSERT_FALSE(before.isEmpty());
    writeFile(instanceFile(".dataserver.message.xml"),
              "<XML><Type>Restart</Type><Code>42</Code><Message>reload</Message></XML>");
    ASSERT_TRUE(logged("The Data Server has requested a restart. Code: 42 Message: reload"));
    ASSERT_TRUE(eventually([this] { return dataServers().size() == 2; }));
    expectDynamicPagesAllowed(); // the new one has taken its token
    EXPECT_TRUE(eventually([first] { return !processRuns(first); }));
    EXPECT_TRUE(processRuns(dataServers().last()));

    const QByteArray after = readFile(instanceFile(".dataserver.parameters.txt"));
    const QList<QByteArray> oldLines = before.split('\n');
    const QList<QByteArray> newLines = after.split('\n');
    ASSERT_EQ(newLines.size(), 7);
    EXPECT_NE(newLines[0], oldLines[0]); // parentmutex
    EXPECT_NE(newLines[1], oldLines[1]); // runningmutex
    EXPECT_EQ(newLines.mid(2), oldLines.mid(2));
    EXPECT_FALSE(logText().contains("The restart of the Data Server failed"));
    EXPECT_FALSE(QFile::exists(instanceFile(".dataserver.message.xml")));
}

TEST_F(WebsvrSupervisionTest, AMalformedMessageFileIsReportedEveryTickUntilRemoved) {
    startServing();
    const QString file = instanceFile(".dataserver.message.xml");
    const QString report = "Unable to load Data Server message file: " + file;
    writeFile(file, "<XML><Type>Restart");
    ASSERT_TRUE(logged(report, 3));
    EXPECT_EQ(m_websvr->state(), QProcess::Running);
    EXPECT_TRUE(get("/index.htm").startsWith("HTTP/1.1 200 OK\r\n"));

    QFile::remove(file);
    // Give a tick under way time to finish, then three more ticks must add nothing.
    QThread::msleep(600);
    const int count = logCount(report);
    QThread::msleep(1500);
    EXPECT_EQ(logCount(report), count);
    EXPECT_EQ(dataServers().size(), 1);
    EXPECT_EQ(m_websvr->state(), QProcess::Running);
}

TEST_F(WebsvrSupervisionTest, AHangingDataServerIsTerminatedAndReplaced) {
    startServing();
    const qint64 first = dataServers().first();
    ::kill(pid_t(first), SIGSTOP);
    // Up to 30 s for the alive file to age, 20 s for the stopped one to end by itself.
    ASSERT_TRUE(logged("Data Server may hang. Last alive signal was ", 1, 45000));
    ASSERT_TRUE(logged("Terminate data server process", 1, 25000));
    ASSERT_TRUE(eventually([this] { return dataServers().size() == 2; }));
    expectDynamicPagesAllowed(); // the new one has taken its token
    EXPECT_TRUE(eventually([first] { return processState(first) == 0; }));
    EXPECT_TRUE(processRuns(dataServers().last()));
    EXPECT_EQ(logCount("Restart Data Server"), 1);
    EXPECT_EQ(logCount("Restart of Data Server failed"), 0);
}

TEST_F(WebsvrSupervisionTest, ADataServerThatNeverTakesItsTokenEndsTheStart) {
    writeStandIn(program("dbsvr"), false);
    start();
    EXPECT_EQ(finish(40000), 2);
    EXPECT_TRUE(logText().contains("Unable to start data server"));
    EXPECT_FALSE(logText().contains("Start serving pages"));
    ASSERT_EQ(dataServers().size(), 1);
    const qint64 standIn = dataServers().first();
    EXPECT_TRUE(eventually([standIn] { return !processRuns(standIn); }, 5000));
}

TEST_F(WebsvrSupervisionTest, AKilledWebServerTakesItsDataServerWithIt) {
    startServing();
    const qint64 dbsvr = dataServers().first();
    ::kill(pid_t(m_pid), SIGKILL);
    finish();
    EXPECT_TRUE(eventually([dbsvr] { return !processRuns(dbsvr); }, 5000));
}

} // namespace
