// The supervisor driven directly against the real staged dbsvr.
#include "common/dictionary.h"
#include "common/error.h"
#include "common/objectfactory.h"
#include "contract/namedmutex.h"
#include "diagnostics/trace.h"
#include "standin.h"
#include "supervision/connectionsettings.h"
#include "supervision/serverqueue.h"
#include "supervision/supervisor.h"
#include "tests/support/processes.h"
#include "tests/support/programfolder.h"
#include "tests/support/qtprinters.h"
#include "tests/support/recordeddiagnostics.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>
#include <QUuid>
#include <csignal>
#include <gtest/gtest.h>

using namespace support;

namespace {

class SupervisorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(CopySampleApplication(path("app folder")));
        QString error;
        ASSERT_TRUE(dataserver::CreateQueueFolders(path("Queue"), error));

        dataserver::SupervisorConfig c;
        c.ProgramFolder = StageDir();
        c.ParameterFile = path("7.dataserver.parameters.txt");
        c.AliveFile = path("7.dataserver.alive.xml");
        c.MessageFile = path("7.dataserver.message.xml");
        c.InQueueFolder = path("Queue/results");
        c.OutQueueFolder = path("Queue/requests");
        c.ApplicationPath = path("app folder");
        c.RunningMutexName = QUuid::createUuid().toString(QUuid::WithoutBraces);
        c.ApplicationDictionary = common::NewDictionary();
        m_supervisor.setConfig(c);
    }
    void TearDown() override {
        const qint64 pid = m_supervisor.launch().DataServerProcessId();
        m_supervisor.ReleaseParentMutex();
        if (!Eventually([pid] { return !ProcessRuns(pid); }))
            ::kill(pid_t(pid), SIGKILL);
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }
    const dataserver::SupervisorConfig& config() const { return m_supervisor.config(); }
    qint64 pid() const { return m_supervisor.launch().DataServerProcessId(); }
    const QStringList& traces() const { return m_diagnostics.traces; }
    int tracesStartingWith(const QString& start) const {
        return m_diagnostics.tracesStartingWith(start);
    }
    void writeMessage(const QByteArray& xml) { WriteFile(config().MessageFile, xml); }
    bool pings() const {
        QString info;
        return dataserver::PingDataServer({config().InQueueFolder, config().OutQueueFolder}, info,
                                          WAIT_MS);
    }
    // The parameter file of a launch: seven lines, CRLF between them and none after the
    // last, the queues crossed over.
    QString parameterText() const {
        const dataserver::Launch& launch = m_supervisor.launch();
        return "parentmutex=\"" + launch.DataServerParentMutex() + "\"\r\nrunningmutex=\"" +
               launch.DataServerRunningMutex() + "\"\r\ninqueue=\"" + path("Queue/requests") +
               "\"\r\noutqueue=\"" + path("Queue/results") + "\"\r\nalivefile=\"" +
               config().AliveFile + "\"\r\nmessagefile=\"" + config().MessageFile +
               "\"\r\nconfigfolder=\"" + config().ApplicationPath + "\"";
    }

    QTemporaryDir m_dir;
    RecordedDiagnostics m_diagnostics{m_dir.filePath("data"), false};
    dataserver::Supervisor m_supervisor;
};

TEST_F(SupervisorTest, StartsRestartsAndStopsTheRealDataServer) {
    config().ApplicationDictionary->Add("Initialized", "yes");
    ASSERT_TRUE(m_supervisor.StartDataServer());
    const dataserver::Launch& launch = m_supervisor.launch();
    const QString parent = launch.DataServerParentMutex();
    const QString running = launch.DataServerRunningMutex();
    const qint64 first = pid();

    const QString expected = parameterText();
    EXPECT_EQ(QString::fromLatin1(ReadFile(config().ParameterFile)), expected);
    EXPECT_EQ(traces(),
              QStringList({"Data Server Parent Mutex: " + parent +
                               ", handle: " + QString::number(launch.DataServerParentMutexHandle()),
                           "Data server parameters: " + QString(expected).replace("\r\n", ", "),
                           "Data server command line: \"" + StageDir() +
                               "/dbsvr\" parameterfile=\"" + config().ParameterFile + "\", hidden",
                           "Data server process id: " + QString::number(first)}));
    EXPECT_EQ(
        ProcessArguments(first),
        QStringList({StageDir() + "/dbsvr", "parameterfile=" + config().ParameterFile, "hidden"}));
    EXPECT_TRUE(dataserver::MutexExists(running));
    EXPECT_TRUE(m_supervisor.IsDataServerRunning());
    EXPECT_TRUE(config().ApplicationDictionary->Exists("Initialized"));
    EXPECT_TRUE(config().ApplicationDictionary->item("Initialized").isEmpty());
    EXPECT_TRUE(m_supervisor.CheckDataServer(true));

    // A restart uses two new names, and only they change in a new parameter file; the old
    // data server ends by itself, unkilled.
    ASSERT_TRUE(m_supervisor.RestartDataServer());
    EXPECT_NE(launch.DataServerParentMutex(), parent);
    EXPECT_NE(launch.DataServerRunningMutex(), running);
    EXPECT_EQ(QString::fromLatin1(ReadFile(config().ParameterFile)), parameterText());
    EXPECT_FALSE(dataserver::MutexExists(parent));
    EXPECT_TRUE(Eventually([first] { return ProcessState(first) == 0; })) << "not reaped";
    EXPECT_TRUE(ProcessRuns(pid()));
    EXPECT_TRUE(pings());

    const qint64 second = pid();
    m_supervisor.StopDataServer();
    EXPECT_FALSE(m_supervisor.IsDataServerRunning());
    EXPECT_TRUE(Eventually([second] { return ProcessState(second) == 0; }));
    EXPECT_EQ(tracesStartingWith("Terminate data server process"), 0);
    EXPECT_EQ(tracesStartingWith("Restart Data Server"), 1);
}

TEST(DataServerCommandLine, AsTracedAndAsStarted) {
    dataserver::SupervisorConfig c;
    c.ProgramFolder = "/opt/q v";
    c.ParameterFile = "/tmp/a b/p.txt";
    c.ApplicationPath = "/srv/my app";
    c.RunningMutexName = "RUN";
    EXPECT_EQ(dataserver::DataServerCommandLine(c),
              "\"/opt/q v/dbsvr\" parameterfile=\"/tmp/a b/p.txt\", hidden");
    EXPECT_EQ(dataserver::DataServerArguments(c),
              QStringList({"parameterfile=/tmp/a b/p.txt", "hidden"}));
    c.ShowDataServer = true;
    EXPECT_EQ(dataserver::DataServerCommandLine(c),
              "\"/opt/q v/dbsvr\" parameterfile=\"/tmp/a b/p.txt\"");
    EXPECT_EQ(dataserver::DataServerArguments(c), QStringList({"parameterfile=/tmp/a b/p.txt"}));
    EXPECT_EQ(dataserver::ConfigCommandLine(c),
              "/opt/q v/dbsvr mode=config, parentmutex=RUN, configfolder=\"/srv/my app\"");
    EXPECT_EQ(dataserver::ConfigArguments(c),
              QStringList({"mode=config", "parentmutex=RUN", "configfolder=\"/srv/my app\""}));
}

TEST_F(SupervisorTest, AnOldAliveFileIsAHangRestartedOnlyWhenAllowed) {
    ASSERT_TRUE(m_supervisor.StartDataServer());
    const qint64 first = pid();
    const auto backdate = [this] {
        QFile alive(config().AliveFile);
        ASSERT_TRUE(alive.open(QIODevice::ReadWrite));
        ASSERT_TRUE(alive.setFileTime(QDateTime::currentDateTime().addSecs(-40),
                                      QFileDevice::FileModificationTime));
    };
    backdate();
    EXPECT_TRUE(m_supervisor.CheckDataServer(false));
    ASSERT_EQ(tracesStartingWith("Data Server may hang. Last alive signal was "), 1);
    EXPECT_EQ(pid(), first);

    backdate();
    EXPECT_TRUE(m_supervisor.CheckDataServer(true));
    EXPECT_EQ(tracesStartingWith("Data Server may hang. Last alive signal was "), 2);
    EXPECT_EQ(tracesStartingWith("Restart Data Server"), 1);
    EXPECT_NE(pid(), first);
    EXPECT_TRUE(m_supervisor.CheckDataServer(true)); // the new one's alive file is fresh
}

TEST_F(SupervisorTest, MessageFilesAreConsumedAndActedOn) {
    ASSERT_TRUE(m_supervisor.StartDataServer());
    const qint64 first = pid();
    const QString& file = config().MessageFile;

    writeMessage("<XML><Type>Critical</Type><Code>7</Code><Message>disk full</Message></XML>");
    EXPECT_FALSE(m_supervisor.CheckDataServer(true));
    EXPECT_TRUE(traces().contains(
        "A critical error was reported from the Data Server. Error 7. disk full"));
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_EQ(pid(), first);

    for (const QByteArray& harmless :
         {QByteArray("<XML><Type>Done</Type></XML>"),
          QByteArray("<XML><Type>critical</Type></XML>"), QByteArray("<XML/>"),
          QByteArray("<XML><Type>Message</Type><Code>UnableToConnectDB</Code></XML>")}) {
        writeMessage(harmless);
        EXPECT_TRUE(m_supervisor.CheckDataServer(true)) << harmless.constData();
        EXPECT_FALSE(QFile::exists(file));
    }
    // Hidden: the connection problem is only traced.
    EXPECT_TRUE(traces().contains("The database server was unable to connect to the database"));
    EXPECT_TRUE(m_diagnostics.ui.shown.isEmpty());

    // Not XML: reported at every check and left in place until it is removed.
    writeMessage("Restart please");
    EXPECT_FALSE(m_supervisor.CheckDataServer(true));
    EXPECT_FALSE(m_supervisor.CheckDataServer(true));
    EXPECT_EQ(traces().count("Unable to load Data Server message file: " + file), 2);
    QFile::remove(file);
    EXPECT_TRUE(m_supervisor.CheckDataServer(true));

    const QString running = m_supervisor.launch().DataServerRunningMutex();
    writeMessage("<XML><Type>Restart</Type><Code>R1</Code><Message>new config</Message></XML>");
    EXPECT_TRUE(m_supervisor.CheckDataServer(true));
    EXPECT_TRUE(
        traces().contains("The Data Server has requested a restart. Code: R1 Message: new config"));
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_NE(m_supervisor.launch().DataServerRunningMutex(), running);
    EXPECT_EQ(QString::fromLatin1(ReadFile(config().ParameterFile)), parameterText());
    EXPECT_NE(pid(), first);
    EXPECT_TRUE(pings());
}

TEST_F(SupervisorTest, UnableToConnectInAnInteractiveRunOpensTheConnectionSettings) {
    dataserver::SupervisorConfig c = config();
    diagnostics::Diagnostics::instance().setInteractive(true);

    // Never started: only the message file matters here.
    writeMessage("<XML><Type>Message</Type><Code>UnableToConnectDB</Code></XML>");
    EXPECT_FALSE(m_supervisor.CheckDataServer(false));
    EXPECT_EQ(m_diagnostics.ui.shown, QStringList("48|[Missing label: msgConnectDBError]"));
    const QString line = "Data server config command line: " + StageDir() +
                         "/dbsvr mode=config, parentmutex=" + c.RunningMutexName +
                         ", configfolder=\"" + c.ApplicationPath + "\"";
    ASSERT_TRUE(traces().contains(line));
    ASSERT_EQ(tracesStartingWith("Data server config process id: "), 1);
    const qint64 config =
        traces().filter("Data server config process id: ").first().section(": ", 1).toLongLong();
    // Its parent is our running token, which nobody holds here: it ends and is reaped.
    EXPECT_TRUE(Eventually([config] { return ProcessState(config) == 0; }));

    // A settings program that cannot start is traced; the web server goes on.
    c.ProgramFolder = path("nowhere");
    m_supervisor.setConfig(c);
    writeMessage("<XML><Type>Message</Type><Code>UnableToConnectDB</Code></XML>");
    EXPECT_FALSE(m_supervisor.CheckDataServer(false));
    EXPECT_EQ(tracesStartingWith("Unable to open the data connection settings. Error 1000. "), 1);
    EXPECT_THROW(m_supervisor.ShowDataConnectionSettings(), common::Error);
}

TEST_F(SupervisorTest, TheDevelopersDataServerIsLeftAlone) {
    m_supervisor.setDataServerDebug(true);
    EXPECT_TRUE(m_supervisor.StartDataServer());
    EXPECT_FALSE(QFile::exists(config().ParameterFile));
    EXPECT_EQ(pid(), 0);
    writeMessage("not xml");
    EXPECT_TRUE(m_supervisor.CheckDataServer(true));
    EXPECT_TRUE(m_supervisor.IsDataServerRunning());
    m_supervisor.StopDataServer();
    EXPECT_TRUE(m_supervisor.ShowDataConnectionSettings());
    EXPECT_TRUE(traces().isEmpty()) << traces().join("\n").toStdString();
}

TEST_F(SupervisorTest, AStartThatFailsLeavesNoProcessAndNoParentToken) {
    // A data server that reports instead of taking its token ends the wait at once.
    dataserver::SupervisorConfig c = config();
    c.ProgramFolder = path("standin");
    WriteDataServerStandIn(c.ProgramFolder + "/dbsvr", true);
    m_supervisor.setConfig(c);
    EXPECT_FALSE(m_supervisor.StartDataServer());
    const qint64 standIn = pid();
    EXPECT_TRUE(QFile::exists(c.MessageFile));
    EXPECT_EQ(tracesStartingWith("Terminate data server process"), 1);
    EXPECT_TRUE(Eventually([standIn] { return ProcessState(standIn) == 0; }));
    EXPECT_FALSE(dataserver::MutexExists(m_supervisor.launch().DataServerParentMutex()));
    EXPECT_EQ(m_supervisor.launch().DataServerParentMutexHandle(), 0);
}

} // namespace
