// Runs the staged websvr from a copy of the program folder, as a parent program would.
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUuid>
#include <csignal>
#include <gtest/gtest.h>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

const int WAIT_MS = 20000;

QString uniqueName(const char* what) {
    return QString("qvtest-%1-%2").arg(what, QUuid::createUuid().toString(QUuid::Id128));
}

void copyTree(const QString& from, const QString& to) {
    QDir().mkpath(to);
    QDirIterator it(from, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString target = to + "/" + info.fileName();
        if (info.isDir()) {
            // What earlier runs from the build tree left behind is not part of the program.
            if (info.fileName() != "data" && info.fileName() != "Temp")
                copyTree(info.filePath(), target);
        } else {
            QFile::copy(info.filePath(), target);
        }
    }
}

// The staged program folder: QV_STAGE_DIR, else "quorvex" beside the tests' folder.
QString stageDir() {
    const QString stage = qEnvironmentVariable("QV_STAGE_DIR");
    if (!stage.isEmpty())
        return stage;
    return QCoreApplication::applicationDirPath() + "/../quorvex";
}

int freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::Any, 0);
    return probe.serverPort();
}

// One program folder, its TEMP folder and the websvr processes started from it.
class WebsvrTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        copyTree(stageDir(), program());
        ASSERT_TRUE(QFile::exists(program("websvr")));
        QDir().mkpath(temp());
        m_port = freePort();
        writeSettings(QString("<Settings><TCPPort>%1</TCPPort></Settings>").arg(m_port));
    }
    void TearDown() override {
        for (QProcess* p : m_processes) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished();
            }
            delete p;
        }
    }

    QString program(const QString& name = {}) const {
        return m_dir.filePath("program") + (name.isEmpty() ? "" : "/" + name);
    }
    QString temp() const { return m_dir.filePath("temp"); }
    void writeSettings(const QString& xml) { writeFile(program("data/config/webserver.xml"), xml); }
    static void writeFile(const QString& path, const QString& text) {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.toUtf8());
    }

    QProcess* start(const QStringList& arguments) {
        auto* p = new QProcess;
        m_processes.append(p);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TEMP", temp());
        p->setProcessEnvironment(env);
        p->setWorkingDirectory(m_dir.path());
        p->start(program("websvr"), arguments);
        EXPECT_TRUE(p->waitForStarted());
        p->setProperty("pid", p->processId()); // processId() is 0 once it has ended
        return p;
    }
    static qint64 pid(QProcess* p) { return p->property("pid").toLongLong(); }
    // The address line a hidden run prints once it listens; "" when it ends first.
    static QString servingLine(QProcess* p) {
        while (!p->canReadLine() && p->state() == QProcess::Running)
            p->waitForReadyRead(500);
        return QString::fromUtf8(p->readLine()).trimmed();
    }
    static int finish(QProcess* p) {
        EXPECT_TRUE(p->waitForFinished(WAIT_MS));
        EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
        return p->exitCode();
    }

    QString log(QProcess* p) const {
        const QDir logs(program("data/Logs"));
        const QStringList files =
            logs.entryList({QString("*-WEBSRV-%1.log").arg(pid(p))}, QDir::Files);
        if (files.isEmpty())
            return {};
        QFile f(logs.filePath(files.first()));
        return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
    }
    static void expectInOrder(const QString& text, const QStringList& entries) {
        qsizetype at = 0;
        for (const QString& entry : entries) {
            const qsizetype found = text.indexOf(entry, at);
            ASSERT_GE(found, 0) << "missing or out of order: " << entry.toStdString() << "\n"
                                << text.toStdString();
            at = found + entry.size();
        }
    }

    QByteArray get(const QString& path) const {
        QTcpSocket socket;
        socket.connectToHost("127.0.0.1", static_cast<quint16>(m_port));
        if (!socket.waitForConnected(WAIT_MS))
            return {};
        socket.write("GET " + path.toLatin1() + " HTTP/1.0\r\n\r\n");
        QByteArray answer;
        while (socket.waitForReadyRead(WAIT_MS))
            answer += socket.readAll();
        return answer + socket.readAll();
    }

    QTemporaryDir m_dir;
    int m_port = 0;
    QList<QProcess*> m_processes;
};

// Holds a named token the way any parent program can: a Unix socket on the
// abstract address "\0quorvex.mutex.<name>", released when its standard input closes.
class TokenHolder final {
public:
    explicit TokenHolder(const QString& name) {
        m_process.start("python3", {"-c",
                                    "import socket,sys\n"
                                    "s=socket.socket(socket.AF_UNIX,socket.SOCK_STREAM)\n"
                                    "s.bind(b'\\0quorvex.mutex.'+sys.argv[1].encode())\n"
                                    "s.listen(64)\n"
                                    "print('ready',flush=True)\n"
                                    "sys.stdin.read()\n",
                                    name});
        m_process.waitForReadyRead(WAIT_MS);
        m_ready = m_process.readLine().trimmed() == "ready";
    }
    ~TokenHolder() { release(); }
    bool ready() const { return m_ready; }
    void release() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(WAIT_MS))
            m_process.kill();
    }

private:
    QProcess m_process;
    bool m_ready = false;
};

} // namespace

TEST_F(WebsvrTest, ServesThenStopsInOrderOnSigterm) {
    QProcess* p = start({"hidden", "runningmutex=" + uniqueName("run")});
    ASSERT_EQ(servingLine(p), QString("Serving http://127.0.0.1:%1/").arg(m_port));

    const QByteArray page = get("/index.htm");
    EXPECT_TRUE(page.startsWith("HTTP/1.1 200 OK\r\n")) << page.left(200).toStdString();
    EXPECT_TRUE(page.contains("style.css"));
    EXPECT_TRUE(get("/logo.png").startsWith("HTTP/1.1 200 OK\r\n"));
    // The data server runs; no web application is installed here.
    EXPECT_TRUE(get("/").startsWith("HTTP/1.1 500 Internal Server Error\r\n"));

    const QString instance = temp() + "/Quorvex/" + QString::number(pid(p));
    EXPECT_TRUE(QDir(instance + "/Queue/requests").exists());
    const QString logText = log(p);
    ::kill(static_cast<pid_t>(pid(p)), SIGTERM);
    EXPECT_EQ(finish(p), 0);
    EXPECT_FALSE(QDir(instance).exists());
    EXPECT_TRUE(QDir(temp() + "/Quorvex/excel").exists());

    expectInOrder(
        logText,
        {"Application Path: " + program(), "Command Line: hidden runningmutex=",
         "Check component VBScript.RegExp", "Check component Scripting.FileSystemObject",
         "Check component Halvik.Queue", "Check component Halvik.Dictionary",
         "Context file: " + program("context.xml"), "Config folder: " + program("data/config"),
         "INI file: " + program("data/config/webserver.xml"), "Temp folder: " + temp() + "/Quorvex",
         "Queue folder: " + instance + "/Queue", "Incoming Queue: " + instance + "/Queue/results",
         "Outgoing Queue: " + instance + "/Queue/requests", "Clear queues", "Load translations",
         "Apply translations", "Check Excel", "Start serving pages"});
}

TEST_F(WebsvrTest, SigintAndAQuotedDataFolderWithABlank) {
    const QString data = m_dir.filePath("my data");
    writeFile(data + "/config/webserver.xml",
              QString("<Settings><TCPPort>%1</TCPPort></Settings>").arg(m_port));
    QProcess* p = start({"-hidden", "datafolder=" + data, "instance=web 1"});
    ASSERT_FALSE(servingLine(p).isEmpty());
    EXPECT_TRUE(QDir(temp() + "/Quorvex/web 1/Queue/results").exists());
    ::kill(static_cast<pid_t>(pid(p)), SIGINT);
    EXPECT_EQ(finish(p), 0);
    EXPECT_FALSE(QDir(temp() + "/Quorvex/web 1").exists());
    const QStringList logs = QDir(data + "/Logs").entryList(QDir::Files);
    ASSERT_EQ(logs.size(), 1);
}

TEST_F(WebsvrTest, SecondInstanceWithTheSameRunningMutexFails) {
    const QString name = uniqueName("run");
    QProcess* first = start({"hidden", "runningmutex=" + name});
    ASSERT_FALSE(servingLine(first).isEmpty());
    QProcess* second = start({"hidden", "runningmutex=" + name});
    EXPECT_EQ(finish(second), 1);
    EXPECT_TRUE(log(second).contains("An error occured in the program. Error 183. Error creating "
                                     "instance mutex (" +
                                     name + ")"));
    EXPECT_TRUE(second->readAllStandardError().contains("Error 183."));
    EXPECT_EQ(first->state(), QProcess::Running);
}

TEST_F(WebsvrTest, ParentTokenMissingAtStartStopsAtTheParentCheck) {
    const QString parent = uniqueName("parent");
    QProcess* p = start({"hidden", "parentmutex=" + parent});
    EXPECT_EQ(finish(p), 0);
    const QString text = log(p);
    EXPECT_TRUE(text.contains("Parent mutex " + parent + " is not active. Closing web server."));
    EXPECT_FALSE(text.contains("Check component"));
}

TEST_F(WebsvrTest, ParentTokenGoingAwayEndsTheServer) {
    const QString parent = uniqueName("parent");
    TokenHolder holder(parent);
    ASSERT_TRUE(holder.ready());
    QProcess* p = start({"hidden", "parentmutex=" + parent});
    ASSERT_FALSE(servingLine(p).isEmpty());
    const QString instance = temp() + "/Quorvex/" + QString::number(pid(p));
    holder.release();
    EXPECT_EQ(finish(p), 0);
    EXPECT_FALSE(QDir(instance).exists());
}

TEST_F(WebsvrTest, StartupErrorsEndTheRunWithTheirNumber) {
    writeFile(m_dir.filePath("context.xml"),
              "<Context><Users><Method>Windows</Method></Users></Context>");
    QProcess* p = start({"hidden", "context=" + m_dir.filePath("context.xml")});
    EXPECT_EQ(finish(p), 1);
    // The log quotes its fields, doubling the apostrophes inside.
    EXPECT_TRUE(log(p).contains(
        "An error occured in the program. Error 1000. Invalid usermode ''WINDOWS''"));
    EXPECT_TRUE(p->readAllStandardError().contains("Error 1000. Invalid usermode 'WINDOWS'"));

    p = start({"hidden", "language=xx"});
    EXPECT_EQ(finish(p), 1);
    EXPECT_TRUE(log(p).contains("An error occured in the program. Error 1100."));
}

TEST_F(WebsvrTest, UnusableApplicationFolderEndsAHiddenRunWithoutWaiting) {
    const QString app = m_dir.filePath("empty app");
    QDir().mkpath(app);
    writeSettings(QString("<Settings><TCPPort>%1</TCPPort><ApplicationPath>%2</ApplicationPath>"
                          "</Settings>")
                      .arg(m_port)
                      .arg(app));
    QProcess* p = start({"hidden"});
    EXPECT_EQ(finish(p), 2);
    EXPECT_TRUE(log(p).contains("Invalid application path: " + app));
    EXPECT_FALSE(QDir(app + "/pages").exists());
    EXPECT_FALSE(QDir(temp() + "/Quorvex/" + QString::number(pid(p))).exists());
}
