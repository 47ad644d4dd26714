#pragma once

// Child processes of the tests: polling with a deadline, what /proc says about a process,
// processes that end with the test, and the helper programs built beside the tests.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QThread>
#include <functional>
#include <optional>
#include <sys/resource.h>
#include <sys/types.h>

namespace support {

// How long a test waits for the event it checks (a process answers, ends, writes a line)
// before it takes the event as never coming. A wait ends as soon as its event comes, so this
// bounds only a failing test: far beyond what a loaded machine needs (a sanitizer build beside
// other tests runs several times slower), never a measure of speed (bench/ measures that).
inline constexpr int WAIT_MS = 90000;

// Pumps events until condition holds or timeoutMs pass; returns the condition.
template <typename Condition> bool Eventually(Condition condition, int timeoutMs = WAIT_MS) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return condition();
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    return true;
}

// A token or instance name that no other test (or test run) uses.
QString UniqueName(const QString& what);

// The state letter of /proc/<pid>/stat ('R', 'S', 'T', 'Z'...); 0 when there is no such
// process (ended and reaped).
char ProcessState(qint64 pid);
// Running: a zombie is not, it has ended and only waits for its parent to reap it.
bool ProcessRuns(qint64 pid);
// The argument vector pid was started with; empty when it is gone.
QStringList ProcessArguments(qint64 pid);

// Sets the soft limit of a resource of process pid; the hard limit stays, and a soft limit
// above it is taken as the hard limit.
void SetLimit(qint64 pid, __rlimit_resource resource, rlim_t soft);

// Runs in a child between fork and exec, after its standard streams are set up: only
// async-signal-safe calls (dup2, setresuid...) belong here.
using ChildSetup = std::function<void()>;

// A process started by a test; killed, when still running, as the object goes.
class ChildProcess final {
public:
    // environment holds NAME=value entries that replace or add to the inherited ones; a
    // NAME alone removes that one.
    explicit ChildProcess(const QString& program, const QStringList& arguments = {},
                          const QStringList& environment = {}, const QString& workingDirectory = {},
                          const ChildSetup& setup = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return m_pid > 0; }
    // The process id, kept after the process has ended.
    qint64 pid() const { return m_pid; }
    // The next line it prints, trimmed; "" when it ends (or timeoutMs pass) first.
    QString readLine(int timeoutMs = WAIT_MS);
    // Waits for the end: the exit code, or -1 when it crashed or did not end in time.
    int finish(int timeoutMs = WAIT_MS);
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    qint64 m_pid = 0;
};

// What a process run to its end gave.
struct Finished {
    int exitCode = -1; // -1: it crashed or did not end in time
    QByteArray out;
    QString err;
};
// Runs program with input on its standard input (closed after it) and waits for its end;
// environment as ChildProcess takes it.
Finished RunToEnd(const QString& program, const QStringList& arguments, const QByteArray& input,
                  const QStringList& environment = {});

// A second local user for the tests that need one: the user nobody, whom only root can become.
struct OtherUser {
    uid_t uid = 0;
    gid_t gid = 0;
};
// The user nobody when this process runs as root; nothing otherwise (tests then skip).
std::optional<OtherUser> SecondUser();
// In the child: run as user.
ChildSetup RunAs(OtherUser user);
// Gives path, and all below it, to user.
void GiveTo(const QString& path, OtherUser user);

// A helper program built beside the tests (qv_tokenholder, qv_queuepeer).
QString HelperProgram(const QString& name);

// Holds a named token in another process (qv_tokenholder), as a parent program does; as user,
// when one is given, from a copy of the helper that user can reach wherever the build lies.
class TokenHolder final {
public:
    explicit TokenHolder(const QString& name, const QStringList& options = {},
                         const std::optional<OtherUser>& user = std::nullopt);
    // The token is held.
    bool ready() const { return m_ready; }
    // Lets the token go in order: the holder's standard input closes and it ends.
    void release();
    ChildProcess& process() { return m_process; }

private:
    ChildProcess m_process;
    bool m_ready = false;
};

} // namespace support
