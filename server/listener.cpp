#include "server/listener.h"

#include "server/winsockerror.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace server {

namespace {
constexpr int LISTEN_BACKLOG = 1024;
constexpr int ACCEPTS_PER_WAKEUP = 64; // then other events get their turn
constexpr int DESCRIPTORS_EXHAUSTED_PAUSE_MS = 100;

// A socket for every address: IPv6 accepting IPv4 too, or IPv4 alone where
// the machine has no IPv6.
int openSocket(bool& isV6) {
    isV6 = true;
    int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0 && errno == EAFNOSUPPORT) {
        isV6 = false;
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    }
    return fd;
}

int bindAny(int fd, bool isV6, int port) {
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (isV6) {
        const int zero = 0;
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &zero, sizeof zero);
        sockaddr_in6 a{};
        a.sin6_family = AF_INET6;
        a.sin6_addr = in6addr_any;
        a.sin6_port = htons(static_cast<uint16_t>(port));
        return ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = htons(static_cast<uint16_t>(port));
    return ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
}

quint16 boundPort(int fd) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
}
} // namespace

Listener::Listener(QObject* parent)
    : QObject(parent), m_notifier(new QSocketNotifier(QSocketNotifier::Read, this)) {
    connect(m_notifier, &QSocketNotifier::activated, this, &Listener::onReadable);
}

Listener::~Listener() {
    close();
}

int Listener::Listen(int port) {
    close();
    if (port < 0 || port > 65535)
        return WinsockError(EINVAL);
    bool isV6 = true;
    const int fd = openSocket(isV6);
    if (fd < 0)
        return WinsockError(errno);
    if (bindAny(fd, isV6, port) != 0 || ::listen(fd, LISTEN_BACKLOG) != 0) {
        const int error = errno;
        ::close(fd);
        return WinsockError(error);
    }
    m_fd = fd;
    m_port = boundPort(fd);
    m_notifier->setSocket(fd);
    m_notifier->setEnabled(true);
    return 0;
}

void Listener::close() {
    if (m_fd < 0)
        return;
    m_notifier->setEnabled(false);
    ::close(m_fd);
    m_fd = -1;
    m_port = 0;
}

void Listener::onReadable() {
    for (int i = 0; i < ACCEPTS_PER_WAKEUP && m_fd >= 0; ++i) {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        const int fd = ::accept4(m_fd, reinterpret_cast<sockaddr*>(&address), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                pauseAccepting(); // else the pending connection wakes us at once, for ever
            return;
        }
        m_peer = address;
        Q_EMIT connectionRequest(fd);
    }
}

void Listener::pauseAccepting() {
    m_notifier->setEnabled(false);
    QTimer::singleShot(DESCRIPTORS_EXHAUSTED_PAUSE_MS, this, [this] {
        if (m_fd >= 0)
            m_notifier->setEnabled(true);
    });
}

} // namespace server
