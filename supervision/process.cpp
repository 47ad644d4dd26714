#include "supervision/process.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// This glibc's header lacks the C++ linkage guards.
extern "C" {
#include <sys/pidfd.h>
}

extern char** environ;

namespace dataserver {

namespace {

// Our children that have not been reaped yet, with the notifier that reaps them when they
// end (null when no event loop runs on this thread).
QHash<pid_t, QPointer<QSocketNotifier>>& children() {
    static QHash<pid_t, QPointer<QSocketNotifier>> table;
    return table;
}

// Only our own pids are waited for: a waitpid(-1) would steal QProcess's children.
void forgetChild(pid_t pid) {
    const QPointer<QSocketNotifier> notifier = children().take(pid);
    if (!notifier)
        return;
    notifier->setEnabled(false);
    ::close(int(notifier->socket()));
    notifier->deleteLater();
}

bool reapChild(pid_t pid) {
    const pid_t rc = ::waitpid(pid, nullptr, WNOHANG);
    if (rc == 0)
        return false;
    forgetChild(pid);
    return true;
}

void reapFinishedChildren() {
    const QList<pid_t> pids = children().keys();
    for (const pid_t pid : pids)
        reapChild(pid);
}

void watchChild(pid_t pid) {
    QCoreApplication* app = QCoreApplication::instance();
    QSocketNotifier* notifier = nullptr;
    const int pidfd = app && app->thread() == QThread::currentThread() ? ::pidfd_open(pid, 0) : -1;
    if (pidfd >= 0) {
        notifier = new QSocketNotifier(pidfd, QSocketNotifier::Read, app);
        QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                         [pid] { reapChild(pid); });
    }
    children().insert(pid, notifier);
}

// Waits up to timeoutMs for the pidfd to report the end of its process.
bool endsWithin(int pidfd, int timeoutMs) {
    pollfd pfd{pidfd, POLLIN, 0};
    int rc;
    do {
        rc = ::poll(&pfd, 1, timeoutMs);
    } while (rc < 0 && errno == EINTR); // a restart after a signal may wait a little longer
    return rc != 0;
}

struct SpawnAttributes {
    posix_spawnattr_t attr;
    SpawnAttributes() {
        posix_spawnattr_init(&attr);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attr, &none);
        // Ignored signals survive exec; the child should start with the usual ones.
        sigset_t defaults;
        sigemptyset(&defaults);
        for (const int sig :
             {SIGPIPE, SIGXFSZ, SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGCHLD, SIGUSR1, SIGUSR2})
            sigaddset(&defaults, sig);
        posix_spawnattr_setsigdefault(&attr, &defaults);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attr); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
};

// Our standard output carries only our own lines (a parent reads the address we serve
// from it), so a child's output goes to our standard error, or nowhere when that is closed.
struct SpawnFileActions {
    posix_spawn_file_actions_t actions;
    SpawnFileActions() {
        posix_spawn_file_actions_init(&actions);
        if (::fcntl(STDERR_FILENO, F_GETFD) >= 0)
            posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
        else
            posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    ~SpawnFileActions() { posix_spawn_file_actions_destroy(&actions); }
    SpawnFileActions(const SpawnFileActions&) = delete;
    SpawnFileActions& operator=(const SpawnFileActions&) = delete;
};

// The inherited environment with entries (NAME=value) put in place of their names.
std::vector<QByteArray> childEnvironment(const QStringList& entries) {
    std::vector<QByteArray> added;
    for (const QString& entry : entries)
        added.push_back(QFile::encodeName(entry));
    const auto replaced = [&added](const char* inherited) {
        for (const QByteArray& entry : added) {
            const qsizetype nameEnd = entry.indexOf('=') + 1;
            if (nameEnd > 0 && std::strncmp(inherited, entry.constData(), size_t(nameEnd)) == 0)
                return true;
        }
        return false;
    };
    std::vector<QByteArray> environment;
    for (char** inherited = environ; *inherited; ++inherited)
        if (!replaced(*inherited))
            environment.emplace_back(*inherited);
    environment.insert(environment.end(), added.begin(), added.end());
    return environment;
}

// The pointers execve takes, into storage, ended by a null pointer.
std::vector<char*> pointersTo(std::vector<QByteArray>& storage) {
    std::vector<char*> pointers;
    for (QByteArray& item : storage)
        pointers.push_back(item.data());
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

bool TerminateProcessById(int processId, int waitMilliseconds) {
    reapFinishedChildren();
    if (processId <= 0)
        return false;
    const int pidfd = ::pidfd_open(pid_t(processId), 0);
    if (pidfd < 0)
        return false;
    // A process that has ended (a zombie included) is not terminated again.
    const bool ended = endsWithin(pidfd, waitMilliseconds > 0 ? waitMilliseconds : 0);
    const bool killed = !ended && ::pidfd_send_signal(pidfd, SIGKILL, nullptr, 0) == 0;
    ::close(pidfd);
    return killed;
}

qint64 StartProcess(const QString& program, const QStringList& arguments,
                    const QStringList& environment) {
    reapFinishedChildren();
    if (program.isEmpty())
        return 0;
    std::vector<QByteArray> storage;
    storage.push_back(QFile::encodeName(program));
    for (const QString& argument : arguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char*> argv = pointersTo(storage);
    std::vector<QByteArray> envStorage;
    if (!environment.isEmpty())
        envStorage = childEnvironment(environment);
    std::vector<char*> envp = pointersTo(envStorage);
    char** const env = environment.isEmpty() ? environ : envp.data();

    SpawnAttributes attributes;
    SpawnFileActions files;
    pid_t pid = 0;
    const bool onPath = !program.contains(QLatin1Char('/'));
    const int rc =
        onPath ? ::posix_spawnp(&pid, argv[0], &files.actions, &attributes.attr, argv.data(), env)
               : ::posix_spawn(&pid, argv[0], &files.actions, &attributes.attr, argv.data(), env);
    if (rc != 0)
        return 0;
    watchChild(pid);
    return qint64(pid);
}

} // namespace dataserver
