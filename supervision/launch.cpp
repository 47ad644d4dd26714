#include "supervision/launch.h"

#include "common/codepage.h"
#include "common/dictionary.h"
#include "common/error.h"
#include "common/files.h"
#include "common/guid.h"
#include "common/text.h"
#include "contract/contract.h"
#include "contract/namedmutex.h"
#include "diagnostics/log.h"
#include "diagnostics/trace.h"
#include "supervision/process.h"
#include "supervision/serverqueue.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QThread>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <poll.h>
#include <unistd.h>

// This glibc's header lacks the C++ linkage guards.
extern "C" {
#include <sys/pidfd.h>
}

namespace dataserver {

namespace {

// Sleeps ms milliseconds while the thread's events keep being served.
void sleepServingEvents(int ms) {
    QElapsedTimer clock;
    clock.start();
    const QCoreApplication* app = QCoreApplication::instance();
    if (app && app->thread() == QThread::currentThread()) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }
    // A loop told to quit by the application returns at once; the step must still take its time.
    const qint64 left = ms - clock.elapsed();
    if (left > 0)
        QThread::msleep(static_cast<unsigned long>(left));
}

// Deletes path when it is set and exists; raises when it cannot.
void deleteFile(const QString& path) {
    if (path.isEmpty())
        return;
    if (::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT)
        return;
    const int code = errno;
    throw common::Error(code, QStringLiteral("Error deleting file ") + path + QStringLiteral(". ") +
                                  SystemErrorText(code));
}

// The parameter file's bytes: Windows-1252 when every character fits (what readers of the
// single-byte file have always read), otherwise UTF-8 after a byte-order mark, so that a
// path the code page cannot carry still reaches the data server unchanged.
QByteArray parameterBytes(const QString& text) {
    const QByteArray bytes = common::ToCodePage(text);
    if (common::FromCodePage(bytes) == text)
        return bytes;
    return QByteArray(UTF8_BYTE_ORDER_MARK) + text.toUtf8();
}

constexpr unsigned long END_POLL_MS = 10;

bool processEnded(int pidfd) {
    pollfd pfd{pidfd, POLLIN, 0};
    return ::poll(&pfd, 1, 0) != 0;
}

} // namespace

QString DataServerProgram(const SupervisorConfig& config) {
    return DataServerProgram(config.ProgramFolder);
}

QString DataServerProgram(const QString& programFolder) {
    return programFolder + QStringLiteral("/dbsvr");
}

QString QuotedArgument(const char* key, const QString& value) {
    return QLatin1String(key) + QStringLiteral("=\"") +
           QString(value).replace(QStringLiteral("\""), QStringLiteral("\"\"")) + QLatin1Char('"');
}

QStringList DataServerEnvironment() {
    const diagnostics::Log* log = diagnostics::Diagnostics::instance().log();
    if (!log || log->folder().isEmpty())
        return {};
    return {QString::fromLatin1(LOGS_FOLDER_VARIABLE) + QLatin1Char('=') + log->folder()};
}

QString ParameterText(const SupervisorConfig& config, const QString& parentMutex,
                      const QString& runningMutex) {
    const Parameters parameters{parentMutex,           runningMutex,     config.OutQueueFolder,
                                config.InQueueFolder,  config.AliveFile, config.MessageFile,
                                config.ApplicationPath};
    QStringList text;
    for (const ParameterKey& entry : PARAMETER_KEYS)
        text << QLatin1String(entry.key) + QStringLiteral("=\"") + parameters.*entry.value +
                    QLatin1Char('"');
    return text.join(QStringLiteral("\r\n"));
}

QString DataServerCommandLine(const SupervisorConfig& config) {
    QString line = QLatin1Char('"') + DataServerProgram(config) +
                   QStringLiteral("\" parameterfile=\"") + config.ParameterFile + QLatin1Char('"');
    if (!config.ShowDataServer)
        line += QStringLiteral(", hidden");
    return line;
}

QStringList DataServerArguments(const SupervisorConfig& config) {
    QStringList arguments{QStringLiteral("parameterfile=") + config.ParameterFile};
    if (!config.ShowDataServer)
        arguments << QStringLiteral("hidden");
    return arguments;
}

void WaitServingEvents(int timeoutMs, const std::function<bool()>& condition) {
    const QDeadlineTimer deadline(timeoutMs);
    while (condition() && !deadline.hasExpired())
        sleepServingEvents(
            int(qMin<qint64>(WAIT_STEP_MS, qMax<qint64>(deadline.remainingTime(), 1))));
}

Launch::Launch(const SupervisorConfig& config) : m_config(config) {}

bool Launch::stopRequested() const {
    return m_config.stopRequested && m_config.stopRequested();
}

Launch::~Launch() {
    forgetProcess();
}

bool Launch::StartDataServer() {
    if (m_dataServerDebug)
        return true; // the developer's data server: nothing is started, written or waited for
    ++m_starts;
    if (runningMutexExists())
        StopDataServer();
    // A data server that ended by itself leaves our parent token behind; a new one gets its own.
    releaseParentHandle();
    forgetProcess();
    // A stop asked for meanwhile (during a restart's stop wait) ends the start before a new
    // data server is made, only to be killed at once.
    if (stopRequested())
        return false;

    m_runningMutex = common::NewGuidString();
    m_running.reset(false);
    m_parentMutex = common::NewGuidString();
    m_parentMutexHandle = CreateInstanceMutex(m_parentMutex);
    diagnostics::WriteTrace(QStringLiteral("Data Server Parent Mutex: ") + m_parentMutex +
                            QStringLiteral(", handle: ") + QString::number(m_parentMutexHandle));

    const QString parameters = ParameterText(m_config, m_parentMutex, m_runningMutex);
    diagnostics::WriteTrace(
        QStringLiteral("Data server parameters: ") +
        QString(parameters).replace(QStringLiteral("\r\n"), QStringLiteral(", ")));
    diagnostics::WriteTrace(QStringLiteral("Data server command line: ") +
                            DataServerCommandLine(m_config));
    DeleteMessageFile();
    DeleteParameterFile(); // the alive file stays: it is the data server's own
    // It names the tokens: another user who read them could hold or watch them.
    common::SaveFile(m_config.ParameterFile, parameterBytes(parameters),
                     common::FileAccess::OwnerOnly);

    spawn();
    diagnostics::WriteTrace(QStringLiteral("Data server process id: ") +
                            QString::number(m_processId));

    WaitServingEvents(START_WAIT_MS, [this] {
        return !stopRequested() && !runningMutexExists() && !DataServerMessageExists() &&
               !childEnded();
    });
    bool result = runningMutexExists();
    if (m_config.ApplicationDictionary)
        m_config.ApplicationDictionary->setItem(QStringLiteral("Initialized"), common::Value());
    if (!result) {
        killFailedStart();
        return false;
    }
    QString info;
    if (!PingDataServer({m_config.InQueueFolder, m_config.OutQueueFolder}, info)) {
        diagnostics::WriteTrace(QStringLiteral("Data Server ping failed"));
        result = false;
    }
    return result;
}

void Launch::StopDataServer() {
    if (!m_dataServerDebug)
        releaseParentHandle(); // we are its only holder: the token goes, the data server ends
    m_parentMutexHandle = 0;
    WaitServingEvents(STOP_WAIT_MS, [this] { return !stopRequested() && runningMutexExists(); });
    if (runningMutexExists() && !m_dataServerDebug) {
        diagnostics::WriteTrace(QStringLiteral("Terminate data server process"),
                                diagnostics::Severity::Warning);
        TerminateProcessById(static_cast<int>(m_processId), 0);
    }
}

bool Launch::RestartDataServer() {
    diagnostics::WriteTrace(QStringLiteral("Restart Data Server"));
    StopDataServer();
    return StartDataServer();
}

bool Launch::IsDataServerRunning() const {
    return m_dataServerDebug || runningMutexExists();
}

bool Launch::DataServerMessageExists() const {
    // One planted by another user ends no wait (and is never obeyed, Watchdog).
    return common::FileExists(m_config.MessageFile) && common::IsOwnFile(m_config.MessageFile);
}

void Launch::DeleteMessageFile() {
    deleteFile(m_config.MessageFile);
}

void Launch::DeleteParameterFile() {
    deleteFile(m_config.ParameterFile);
}

void Launch::ReleaseParentMutex(int waitMs) {
    const bool held = m_parentMutexHandle != 0;
    try {
        releaseParentHandle();
    } catch (const common::Error&) {
        // Ending the process releases it anyway.
    }
    forgetProcess();
    if (!held || m_dataServerDebug)
        return;
    // No events are served here: the run is ending and nothing else may start.
    const QDeadlineTimer deadline(waitMs);
    while (runningMutexExists() && !deadline.hasExpired())
        QThread::msleep(END_POLL_MS);
}

bool Launch::runningMutexExists() const {
    return m_running.held(m_runningMutex);
}

// A child that could not be started, or has ended already, will never take its token.
bool Launch::childEnded() const {
    return m_processId <= 0 || (m_processFd >= 0 && processEnded(m_processFd));
}

void Launch::releaseParentHandle() {
    const int handle = m_parentMutexHandle;
    m_parentMutexHandle = 0;
    if (handle != 0)
        DestroyInstanceMutex(handle);
}

void Launch::spawn() {
    m_processId = StartProcess(DataServerProgram(m_config), DataServerArguments(m_config),
                               DataServerEnvironment());
    // Taken before the child can be reaped, so the id can never name another process later.
    if (m_processId > 0)
        m_processFd = ::pidfd_open(pid_t(m_processId), 0);
}

// A data server that never took its token counts as not running; left alone it would run on
// unsupervised (or never end, if it does not watch its parent token).
void Launch::killFailedStart() {
    releaseParentHandle();
    if (m_processFd >= 0 && !processEnded(m_processFd)) {
        diagnostics::WriteTrace(QStringLiteral("Terminate data server process"),
                                diagnostics::Severity::Warning);
        ::pidfd_send_signal(m_processFd, SIGKILL, nullptr, 0);
    }
    forgetProcess();
}

void Launch::forgetProcess() {
    if (m_processFd >= 0)
        ::close(m_processFd);
    m_processFd = -1;
}

} // namespace dataserver
