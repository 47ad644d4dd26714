// Runs the staged websvr from a copy of the program folder, as a parent program would.
#include "tests/support/processes.h"
#include "tests/support/programfolder.h"
#include "tests/support/qtprinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTcpServer>
#include <csignal>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace support;

namespace {

class WebsvrTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_program.isValid()); }

    // The address line a hidden run prints once it listens.
    QString servingLine() const {
        return QString("Serving http://127.0.0.1:%1/").arg(m_program.port());
    }
    // Waits for that line: the run listens on the port of its settings.
    ::testing::AssertionResult serves(ChildProcess& p) const {
        const QString line = p.readLine();
        if (line.startsWith(servingLine()))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "printed \"" << line.toStdString() << "\"";
    }

    // What a run leaves in the temporary folder once it has ended.
    QStringList leftInTemp() const {
        return QDir(m_program.temp() + "/Quorvex")
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    }
    bool servesPages() const {
        return Eventually(
            [this] { return m_program.get("/index.htm").startsWith("HTTP/1.1 200 OK"); });
    }

    ProgramFolder m_program;
};

// A blocking loopback connection to port; -1 when refused.
int Connect(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(quint16(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
        return fd;
    ::close(fd);
    return -1;
}

// Closes with a reset, as a client that crashes or gives up does.
void Reset(int fd) {
    const linger abort{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(fd);
}

QString DataServerPid(const QString& log) {
    static const QRegularExpression line("Data server process id: (\\d+)");
    QString last;
    for (auto it = line.globalMatch(log); it.hasNext();)
        last = it.next().captured(1);
    return last;
}

// In the child: the standard stream fd leads into a pipe that nobody reads any more.
ChildSetup unreadStream(int fd) {
    return [fd] {
        int ends[2];
        if (::pipe(ends) != 0)
            return;
        ::dup2(ends[1], fd);
        ::close(ends[0]);
        ::close(ends[1]);
    };
}

} // namespace

TEST_F(WebsvrTest, SignalsClosedStreamsAndATakenPort) {
    // Only websvr's own line reaches its standard output, even with the data server shown.
    ChildProcess& shown = m_program.startWebsvr({"hidden", "showdataserver", "instance=shown"});
    ASSERT_EQ(shown.readLine(), servingLine());

    // A hidden run on a taken port says why on standard error and ends in order.
    ChildProcess& taken = m_program.startWebsvr({"hidden", "instance=taken"});
    EXPECT_EQ(taken.finish(), 4);
    EXPECT_TRUE(taken.process().readAllStandardError().contains(
        QString("websvr: Unable to listen on port %1: ").arg(m_program.port()).toUtf8()));
    EXPECT_TRUE(m_program.log(taken.pid()).contains("Closing web server."));

    ::kill(pid_t(shown.pid()), SIGTERM);
    EXPECT_EQ(shown.finish(), 0);

    // A run without hidden and without a display says so on a standard error nobody reads,
    // carries on as a hidden run, and ignores the user signals; SIGHUP ends it in order.
    ChildProcess& unreadErrors =
        m_program.startWebsvr({"instance=quiet"}, unreadStream(STDERR_FILENO));
    ASSERT_TRUE(Eventually(
        [&] { return m_program.log(unreadErrors.pid()).contains("Start serving pages"); }));
    EXPECT_TRUE(m_program.log(unreadErrors.pid()).contains("Command Line: instance=quiet hidden"));
    EXPECT_FALSE(m_program.log(unreadErrors.pid()).contains("Launch browser as client"));
    // Were either user signal not ignored, it would end the run before SIGHUP's orderly
    // shutdown could: finish() would see a death by signal, not 0.
    ::kill(pid_t(unreadErrors.pid()), SIGUSR1);
    ::kill(pid_t(unreadErrors.pid()), SIGUSR2);
    ::kill(pid_t(unreadErrors.pid()), SIGHUP);
    EXPECT_EQ(unreadErrors.finish(), 0);

    // A parent that stopped reading: the serving line meets a closed pipe.
    ChildProcess& unread =
        m_program.startWebsvr({"hidden", "instance=unread"}, unreadStream(STDOUT_FILENO));
    EXPECT_TRUE(servesPages());
    ::kill(pid_t(unread.pid()), SIGHUP);
    EXPECT_EQ(unread.finish(), 0);
    // Nothing of any of these runs is left but the shared spreadsheet folder.
    EXPECT_TRUE(Eventually([this] { return leftInTemp() == QStringList{"excel"}; }))
        << leftInTemp().join(", ").toStdString();
}

TEST_F(WebsvrTest, ServesWithItsDataServerThenStopsInOrderOnSigterm) {
    ChildProcess& p = m_program.startWebsvr({"hidden", "runningmutex=" + UniqueName("run")});
    ASSERT_EQ(p.readLine(), servingLine()); // exactly, for parent programs that read it

    const QByteArray page = m_program.get("/index.htm");
    EXPECT_TRUE(page.startsWith("HTTP/1.1 200 OK\r\n")) << page.left(200).toStdString();
    EXPECT_TRUE(page.contains("style.css"));
    EXPECT_TRUE(m_program.get("/logo.png").startsWith("HTTP/1.1 200 OK\r\n"));
    // The data server runs, so "/" is the web application's home page.
    const QByteArray home = m_program.get("/");
    EXPECT_TRUE(home.startsWith("HTTP/1.1 200 OK\r\n")) << home.left(200).toStdString();
    EXPECT_TRUE(home.contains("home page of the Quorvex example application"));

    const QString instance = m_program.instanceFolder(p.pid());
    EXPECT_TRUE(QDir(instance + "/Queue/requests").exists());
    EXPECT_TRUE(QFile::exists(instance + ".dataserver.alive.xml"));
    const QString log = m_program.log(p.pid());
    EXPECT_FALSE(log.contains("Data Server ping failed"));
    static const QRegularExpression dataServerLine("Data server process id: (\\d+)");
    const qint64 dbsvr = dataServerLine.match(log).captured(1).toLongLong();
    EXPECT_TRUE(ProcessRuns(dbsvr));
    EXPECT_EQ(ProcessArguments(dbsvr).value(2), "hidden");

    ::kill(pid_t(p.pid()), SIGTERM);
    EXPECT_EQ(p.finish(), 0);
    EXPECT_TRUE(Eventually([dbsvr] { return !ProcessRuns(dbsvr); }));
    EXPECT_FALSE(QDir(instance).exists());
    EXPECT_FALSE(QFile::exists(instance + ".dataserver.alive.xml"));
    EXPECT_FALSE(QFile::exists(instance + ".dataserver.message.xml"));
    EXPECT_TRUE(QDir(m_program.temp() + "/Quorvex/excel").exists());

    // The data server keeps a daily log of its own beside ours, from its first line to its end.
    const QString dataServerLog = DailyLog(m_program.path("data/Logs"), "DBSRV", dbsvr);
    const QString firstLine = dataServerLog.section("\r\n", 0, 0);
    EXPECT_TRUE(firstLine.contains(", 1, 0, 'User=")) << dataServerLog.toStdString();
    EXPECT_TRUE(firstLine.endsWith(", Process=" + QString::number(dbsvr) + "'"));
    EXPECT_TRUE(ContainsInOrder(
        dataServerLog,
        {"'Command line: parameterfile=" + instance + ".dataserver.parameters.txt hidden'",
         "'Database opened: ", "sample.db'",
         "'Serving " + instance + "/Queue/requests, replies into " + instance + "/Queue/results'",
         "'Parent mutex ", " is not active. Closing data server.'\r\n"}));

    EXPECT_TRUE(ContainsInOrder(log, {"Application Path: " + m_program.path(),
                                      "Command Line: hidden runningmutex=",
                                      "Check component VBScript.RegExp",
                                      "Check component Scripting.FileSystemObject",
                                      "Check component Halvik.Queue",
                                      "Check component Halvik.Dictionary",
                                      "Context file: " + m_program.path("context.xml"),
                                      "Config folder: " + m_program.path("data/config"),
                                      "INI file: " + m_program.path("data/config/webserver.xml"),
                                      "Temp folder: " + m_program.temp() + "/Quorvex",
                                      "Queue folder: " + instance + "/Queue",
                                      "Incoming Queue: " + instance + "/Queue/results",
                                      "Outgoing Queue: " + instance + "/Queue/requests",
                                      "Clear queues",
                                      "Load translations",
                                      "Apply translations",
                                      "Start data server",
                                      "Data Server Parent Mutex: ",
                                      "Data server command line: ",
                                      "Data server process id: ",
                                      "Check data server",
                                      "Check Excel",
                                      "Start serving pages"}));
}

// The shipped program holds no test hook: a request for a fault is a page like any other.
// An export is sent from a file of its own that nobody sees in the instance folder.
TEST_F(WebsvrTest, TheShippedProgramInjectsNoFaultsAndExportsLeaveNoFiles) {
    ChildProcess& p = m_program.startWebsvr({"hidden"}, {}, {"QV_FAULT_INJECTION=webapp"});
    ASSERT_TRUE(serves(p));
    ASSERT_TRUE(Eventually([this] { return m_program.get("/").startsWith("HTTP/1.1 200 OK"); }));
    const QByteArray fault = m_program.get("/?qvfault=error");
    EXPECT_TRUE(fault.startsWith("HTTP/1.1 200 OK\r\n")) << fault.left(200).toStdString();
    EXPECT_TRUE(fault.contains("home page of the Quorvex example application"));

    const QByteArray csv = m_program.get("/?page=export&format=csv&name=customers");
    EXPECT_TRUE(csv.startsWith("HTTP/1.1 200 OK\r\n")) << csv.left(200).toStdString();
    EXPECT_TRUE(csv.contains("\r\n\r\n\xEF\xBB\xBFid,name,"));
    EXPECT_EQ(QDir(m_program.instanceFolder(p.pid()))
                  .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
              QStringList{"Queue"});
}

TEST_F(WebsvrTest, NamedQueueFoldersArePrivateAndLeaveNoInstanceFolder) {
    const QString in = m_program.beside("queues/in"), out = m_program.beside("queues/out");
    ChildProcess& p =
        m_program.startWebsvr({"hidden", "instance=named", "inqueue=" + in, "outqueue=" + out});
    ASSERT_TRUE(serves(p));
    // The web application's home page asks the data server through them.
    QByteArray home;
    EXPECT_TRUE(Eventually([&] {
        home = m_program.get("/");
        return home.startsWith("HTTP/1.1 200 OK\r\n");
    })) << home.left(300).toStdString();
    // A reply of the data server, left where nobody takes it.
    ASSERT_TRUE(WriteFile(out + "/probe.msg", "<XML><Type>Ping</Type></XML>"));
    ASSERT_TRUE(Eventually([&] { return QFile::exists(in + "/probe.msg"); }));

    // Made by websvr (in, out), by each side's first message (tmp) and by the data server.
    for (const QString& folder : {in, out, in + "/tmp", out + "/tmp"})
        EXPECT_EQ(FileMode(folder), 0700u) << folder.toStdString();
    for (const QString& file : {in + "/probe.msg", in + "/data.version"})
        EXPECT_EQ(FileMode(file), 0600u) << file.toStdString();

    ::kill(pid_t(p.pid()), SIGTERM);
    EXPECT_EQ(p.finish(), 0);
    // The default queue folders were made all the same; they go with the instance folder.
    EXPECT_EQ(leftInTemp(), QStringList{"excel"});
    EXPECT_TRUE(QDir(in).exists());
    EXPECT_TRUE(QDir(out).exists());
}

TEST_F(WebsvrTest, NamedQueueFoldersOthersMayWriteToAreRefused) {
    // The sticky bit is no help here: the data server would run what others plant, and a
    // data version they put there first could never be replaced.
    for (const mode_t open : {0777, 01777, 0770}) {
        const QString folder = m_program.beside(QString("open %1").arg(open, 0, 8));
        ASSERT_TRUE(WriteFile(folder + "/keep.msg", "x"));
        ::chmod(QFile::encodeName(folder).constData(), open);
        ChildProcess& p = m_program.startWebsvr({"hidden", "outqueue=" + folder});
        ASSERT_EQ(p.readLine(), "") << "served with " << folder.toStdString();
        EXPECT_EQ(p.finish(), 1);
        EXPECT_TRUE(p.process().readAllStandardError().contains(
            "The queue folder " + folder.toUtf8() + " is not used: other users may write to it."));
        EXPECT_TRUE(QFile::exists(folder + "/keep.msg"));
        EXPECT_FALSE(QDir(m_program.instanceFolder(p.pid())).exists());
    }
}

TEST_F(WebsvrTest, SigintAndAQuotedDataFolderWithABlank) {
    const QString data = m_program.beside("my data");
    m_program.writeSettings({}, data + "/config");
    ChildProcess& p = m_program.startWebsvr({"-hidden", "datafolder=" + data, "instance=web 1"});
    ASSERT_TRUE(serves(p));
    const QString instance = m_program.temp() + "/Quorvex/web 1";
    EXPECT_TRUE(QDir(instance + "/Queue/results").exists());
    ::kill(pid_t(p.pid()), SIGINT);
    EXPECT_EQ(p.finish(), 0);
    EXPECT_FALSE(QDir(instance).exists());
    const QString log = m_program.log(p.pid(), data + "/Logs");
    EXPECT_FALSE(log.isEmpty());
    EXPECT_TRUE(m_program.log(p.pid()).isEmpty());
    // Its data server logs there too, told by websvr where that is.
    const qint64 dbsvr = DataServerPid(log).toLongLong();
    EXPECT_TRUE(Eventually([dbsvr] { return !ProcessRuns(dbsvr); }));
    EXPECT_TRUE(
        DailyLog(data + "/Logs", "DBSRV", dbsvr).contains(" is not active. Closing data server."));
    EXPECT_TRUE(DailyLog(m_program.path("data/Logs"), "DBSRV", dbsvr).isEmpty());
}

TEST_F(WebsvrTest, SecondInstanceWithTheSameRunningMutexFails) {
    const QString name = UniqueName("run");
    ChildProcess& first = m_program.startWebsvr({"hidden", "runningmutex=" + name});
    ASSERT_TRUE(serves(first));
    ChildProcess& second = m_program.startWebsvr({"hidden", "runningmutex=" + name});
    EXPECT_EQ(second.finish(), 1);
    EXPECT_TRUE(m_program.log(second.pid())
                    .contains("An error occured in the program. Error 183. Error creating "
                              "instance mutex (" +
                              name + ")"));
    EXPECT_TRUE(second.process().readAllStandardError().contains("Error 183."));
    EXPECT_EQ(first.process().state(), QProcess::Running);
}

TEST_F(WebsvrTest, ParentTokenMissingAtStartStopsAtTheParentCheck) {
    const QString parent = UniqueName("parent");
    ChildProcess& p = m_program.startWebsvr({"hidden", "parentmutex=" + parent});
    EXPECT_EQ(p.finish(), 0);
    const QString log = m_program.log(p.pid());
    EXPECT_TRUE(log.contains("Parent mutex " + parent + " is not active. Closing web server."));
    EXPECT_FALSE(log.contains("Check component"));
}

TEST_F(WebsvrTest, ParentTokenGoingAwayEndsTheServer) {
    const QString parent = UniqueName("parent");
    TokenHolder holder(parent);
    ASSERT_TRUE(holder.ready());
    ChildProcess& p = m_program.startWebsvr({"hidden", "parentmutex=" + parent});
    ASSERT_TRUE(serves(p));
    holder.release();
    EXPECT_EQ(p.finish(), 0);
    EXPECT_FALSE(QDir(m_program.instanceFolder(p.pid())).exists());
}

TEST_F(WebsvrTest, StartupErrorsEndTheRunWithTheirNumber) {
    const QString context = m_program.beside("context.xml");
    WriteFile(context, "<Context><Users><Method>Windows</Method></Users></Context>");
    ChildProcess& p = m_program.startWebsvr({"hidden", "context=" + context});
    EXPECT_EQ(p.finish(), 1);
    // The log quotes its fields, doubling the apostrophes inside.
    EXPECT_TRUE(m_program.log(p.pid()).contains(
        "An error occured in the program. Error 1000. Invalid usermode ''WINDOWS''"));
    EXPECT_TRUE(
        p.process().readAllStandardError().contains("Error 1000. Invalid usermode 'WINDOWS'"));
    // The queue folders were made before the failing step; the failed start takes them away.
    EXPECT_FALSE(QDir(m_program.instanceFolder(p.pid())).exists());

    // A language file that cannot be loaded: the start-up report, in one entry, and no word of
    // the sentence that an error after start-up gets.
    ChildProcess& language = m_program.startWebsvr({"hidden", "language=xx"});
    EXPECT_EQ(language.finish(), 1);
    const QString report = "An error occured in the program. Error 1100. Error loading language "
                           "file: " +
                           m_program.path("language/xx.xml");
    const QString log = m_program.log(language.pid());
    EXPECT_EQ(log.count(", 2, '" + report + "'\r\n"), 1) << log.toStdString();
    EXPECT_EQ(log.count("Error 1100"), 1);
    EXPECT_FALSE(log.contains("translation file"));
    EXPECT_TRUE(
        language.process().readAllStandardError().contains("websvr: " + report.toUtf8() + "\n"));
}

TEST_F(WebsvrTest, UnusableApplicationFolderEndsAHiddenRunWithoutWaiting) {
    const QString app = m_program.beside("empty app");
    QDir().mkpath(app);
    m_program.writeSettings("<ApplicationPath>" + app + "</ApplicationPath>");
    ChildProcess& p = m_program.startWebsvr({"hidden"});
    EXPECT_EQ(p.finish(), 2);
    EXPECT_TRUE(m_program.log(p.pid()).contains("Invalid application path: " + app));
    EXPECT_FALSE(QDir(app + "/pages").exists());
    EXPECT_FALSE(QDir(m_program.instanceFolder(p.pid())).exists());
}

TEST_F(WebsvrTest, ClientsGivingUpMidDownloadNeverEndTheServer) {
    ASSERT_TRUE(WriteFile(m_program.path("wwwroot/big.bin"), QByteArray(64 * 1024 * 1024, 'b')));
    ChildProcess& p = m_program.startWebsvr({"hidden"});
    ASSERT_TRUE(serves(p));
    // The reset must meet a send in progress: many tries, each at another point of the file.
    for (int i = 0; i < 40 && p.process().state() == QProcess::Running; ++i) {
        const int fd = Connect(m_program.port());
        ASSERT_GE(fd, 0);
        ASSERT_GT(::send(fd, "GET /big.bin HTTP/1.1\r\n\r\n", 25, MSG_NOSIGNAL), 0);
        char buffer[16384];
        for (qint64 got = 0; got < 64 * 1024 * (i % 16 + 1);) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            ASSERT_GT(n, 0);
            got += n;
        }
        Reset(fd); // while the server is still sending the file
    }
    EXPECT_TRUE(m_program.get("/index.htm").startsWith("HTTP/1.1 200 OK\r\n"));
    EXPECT_EQ(p.process().state(), QProcess::Running);
}

TEST_F(WebsvrTest, AFloodOfIdleConnectionsUnderALowDescriptorLimitEndsNothing) {
    // prlimit runs websvr (same process) with 160 descriptors at most, hard limit included.
    ChildProcess p("prlimit", {"--nofile=160:160", "--", m_program.path("websvr"), "hidden"},
                   {"TEMP=" + m_program.temp()}, m_program.beside(""));
    ASSERT_TRUE(serves(p));
    const QString dataServer = DataServerPid(m_program.log(p.pid()));
    ASSERT_FALSE(dataServer.isEmpty());

    std::vector<int> idle;
    for (int i = 0; i < 300; ++i)
        if (const int fd = Connect(m_program.port()); fd >= 0)
            idle.push_back(fd);
    // The watchdog must go on, and a lost data server still be replaced, while
    // every connection slot is taken.
    ::kill(pid_t(dataServer.toLongLong()), SIGKILL);
    EXPECT_TRUE(Eventually([&] {
        const QString now = DataServerPid(m_program.log(p.pid()));
        return !now.isEmpty() && now != dataServer && ProcessRuns(now.toLongLong());
    }));
    EXPECT_EQ(p.process().state(), QProcess::Running);
    for (const int fd : idle)
        ::close(fd);

    EXPECT_TRUE(
        Eventually([&] { return m_program.get("/index.htm").startsWith("HTTP/1.1 200 OK\r\n"); }));
    EXPECT_EQ(p.process().state(), QProcess::Running);
    EXPECT_FALSE(m_program.log(p.pid()).contains("Too many open files"));
}

TEST_F(WebsvrTest, PathsAndTextsArriveAsWritten) {
    // An application folder with characters of Windows-1252 and characters beyond it, named by
    // a settings file that declares windows-1252: the data server gets exactly that folder.
    const QString app = m_program.beside(QString::fromUtf8("アプリ – Über"));
    ASSERT_TRUE(QDir().rename(m_program.path("examples/microsoft access"), app));
    WriteFile(m_program.path("data/config/webserver.xml"),
              "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<Settings><TCPPort>" +
                  QByteArray::number(m_program.port()) + "</TCPPort><ApplicationPath>" +
                  QFileInfo(app).path().toUtf8() +
                  "/&#x30A2;&#x30D7;&#x30EA; \x96 \xDC"
                  "ber</ApplicationPath></Settings>");
    ChildProcess& wide = m_program.startWebsvr({"hidden"});
    ASSERT_TRUE(serves(wide)) << m_program.log(wide.pid()).toStdString();
    EXPECT_FALSE(m_program.log(wide.pid()).contains("unable to connect to the database"));
    const QByteArray parameters =
        ReadFile(m_program.instanceFolder(wide.pid()) + ".dataserver.parameters.txt");
    EXPECT_TRUE(parameters.startsWith("\xEF\xBB\xBFparentmutex=\""));
    EXPECT_TRUE(parameters.endsWith("configfolder=\"" + app.toUtf8() + "\""));
    ::kill(pid_t(wide.pid()), SIGTERM);
    EXPECT_EQ(wide.finish(), 0);

    // A file where the data folder should be is named as the part in the way.
    const QString file = m_program.beside("data file");
    WriteFile(file, "x");
    ChildProcess& blocked = m_program.startWebsvr({"hidden", "datafolder=" + file});
    EXPECT_EQ(blocked.finish(), 1);
    EXPECT_TRUE(blocked.process().readAllStandardError().contains(
        "Error creating folder in function MkDirRecurse. Target=" + file.toUtf8() +
        ", Current=" + file.toUtf8() + "/. Not a directory"));
}
