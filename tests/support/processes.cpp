#include "processes.h"

#include "common/guid.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <algorithm>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace support {

QString UniqueName(const QString& what) {
    return QStringLiteral("qvtest-") + what + QLatin1Char('-') + common::NewGuidString();
}

char ProcessState(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return 0;
    // The command name in parentheses may hold blanks; the state follows the last ')'.
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close < 0 || close + 2 >= text.size() ? 0 : text.at(close + 2);
}

bool ProcessRuns(qint64 pid) {
    const char state = ProcessState(pid);
    return state != 0 && state != 'Z' && state != 'X';
}

QStringList ProcessArguments(qint64 pid) {
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList arguments = QString::fromLocal8Bit(file.readAll()).split(QChar(0));
    if (!arguments.isEmpty() && arguments.last().isEmpty())
        arguments.removeLast();
    return arguments;
}

void SetLimit(qint64 pid, __rlimit_resource resource, rlim_t soft) {
    rlimit limit{};
    ::prlimit(pid_t(pid), resource, nullptr, &limit);
    limit.rlim_cur = std::min(soft, limit.rlim_max);
    ::prlimit(pid_t(pid), resource, &limit, nullptr);
}

ChildProcess::ChildProcess(const QString& program, const QStringList& arguments,
                           const QStringList& environment, const QString& workingDirectory,
                           const ChildSetup& setup) {
    if (!environment.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& entry : environment) {
            if (entry.contains(QLatin1Char('=')))
                env.insert(entry.section(QLatin1Char('='), 0, 0),
                           entry.section(QLatin1Char('='), 1));
            else
                env.remove(entry);
        }
        m_process.setProcessEnvironment(env);
    }
    if (!workingDirectory.isEmpty())
        m_process.setWorkingDirectory(workingDirectory);
    if (setup)
        m_process.setChildProcessModifier(setup);
    m_process.start(program, arguments);
    if (m_process.waitForStarted())
        m_pid = m_process.processId(); // processId() is 0 once the process has ended
}

ChildProcess::~ChildProcess() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

QString ChildProcess::readLine(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!m_process.canReadLine() && m_process.state() == QProcess::Running &&
           !deadline.hasExpired())
        m_process.waitForReadyRead(int(qMin<qint64>(500, deadline.remainingTime())));
    return QString::fromUtf8(m_process.readLine()).trimmed();
}

int ChildProcess::finish(int timeoutMs) {
    if (!m_process.waitForFinished(timeoutMs) && m_process.state() != QProcess::NotRunning)
        return -1;
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

Finished RunToEnd(const QString& program, const QStringList& arguments, const QByteArray& input,
                  const QStringList& environment) {
    ChildProcess child(program, arguments, environment);
    child.process().write(input);
    child.process().closeWriteChannel();
    Finished finished;
    finished.exitCode = child.finish();
    finished.out = child.process().readAllStandardOutput();
    finished.err = QString::fromUtf8(child.process().readAllStandardError());
    return finished;
}

std::optional<OtherUser> SecondUser() {
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() != 0 || !nobody)
        return std::nullopt;
    return OtherUser{nobody->pw_uid, nobody->pw_gid};
}

ChildSetup RunAs(OtherUser user) {
    return [user] {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(user.gid, user.gid, user.gid) != 0 ||
            ::setresuid(user.uid, user.uid, user.uid) != 0)
            ::_exit(99);
    };
}

void GiveTo(const QString& path, OtherUser user) {
    ::lchown(QFile::encodeName(path).constData(), user.uid, user.gid);
    QDirIterator it(path, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        ::lchown(QFile::encodeName(it.next()).constData(), user.uid, user.gid);
}

QString HelperProgram(const QString& name) {
    return qEnvironmentVariable("QV_TEST_BIN_DIR") + QLatin1Char('/') + name;
}

namespace {
// A copy of a helper in a folder of the temporary folder that every user may enter: the build
// folder may lie where only its owner can (a clone in a 0700 folder). Empty when it cannot be
// copied.
QString helperProgramForAnyUser(const QString& name) {
    static QTemporaryDir shared; // one for the whole test program, removed as it ends
    const QString copy = shared.filePath(name);
    if (QFile::exists(copy))
        return copy;
    constexpr QFileDevice::Permissions EVERYONE_RUNS =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
        QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
        QFileDevice::ExeOther;
    if (!shared.isValid() || !QFile::setPermissions(shared.path(), EVERYONE_RUNS) ||
        !QFile::copy(HelperProgram(name), copy) || !QFile::setPermissions(copy, EVERYONE_RUNS))
        return {};
    return copy;
}

QString tokenHolderProgram(const std::optional<OtherUser>& user) {
    const QString name = QStringLiteral("qv_tokenholder");
    return user ? helperProgramForAnyUser(name) : HelperProgram(name);
}
} // namespace

// Another user runs the copy in the copy's folder: the test's current folder may be closed to
// that user too.
TokenHolder::TokenHolder(const QString& name, const QStringList& options,
                         const std::optional<OtherUser>& user)
    : m_process(tokenHolderProgram(user), QStringList{name} + options, {},
                user ? QFileInfo(tokenHolderProgram(user)).path() : QString(),
                user ? RunAs(*user) : ChildSetup()) {
    m_ready = m_process.readLine() == QLatin1String("ready");
}

void TokenHolder::release() {
    m_process.process().closeWriteChannel();
    m_process.finish();
}

} // namespace support
