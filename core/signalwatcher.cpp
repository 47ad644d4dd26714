#include "core/signalwatcher.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace core {

namespace {

int g_pipe[2] = {-1, -1};

void onSignal(int signalNumber) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

constexpr int STOP_SIGNALS[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int IGNORED_SIGNALS[] = {SIGPIPE, SIGXFSZ, SIGUSR1, SIGUSR2};

void install(int signalNumber, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signalNumber, &action, nullptr);
}

} // namespace

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent) {
    for (const int signalNumber : IGNORED_SIGNALS)
        install(signalNumber, SIG_IGN);
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_pipe) != 0)
        return; // no orderly stop by signal then; the default action still ends the process
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalWatcher::readPipe);
    for (const int signalNumber : STOP_SIGNALS)
        install(signalNumber, onSignal);
}

SignalWatcher::~SignalWatcher() {
    if (!m_notifier)
        return;
    for (const int signalNumber : STOP_SIGNALS)
        install(signalNumber, SIG_DFL);
    delete m_notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void SignalWatcher::readPipe() {
    unsigned char byte = 0;
    while (::read(g_pipe[0], &byte, 1) == 1)
        Q_EMIT terminationRequested(byte);
}

} // namespace core
