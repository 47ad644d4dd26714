#include "contract/namedmutex.h"

#include "common/errnotext.h"
#include "common/error.h"
#include "contract/socketowner.h"

#include <QCoreApplication>
#include <QHash>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <optional>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace dataserver {

namespace {

// Probes that nobody accepts wait in the backlog; once it is full a probe reads EAGAIN,
// which still counts as held. A small backlog bounds what unaccepted probes can pin.
constexpr int TOKEN_BACKLOG = 16;

struct TokenAddress {
    sockaddr_un addr{};
    socklen_t length = 0;
};

// Fills the abstract address of a name; false when the name does not fit.
bool makeAddress(const QString& name, TokenAddress& out) {
    const QByteArray bytes = QByteArray(MUTEX_ADDRESS_PREFIX) + name.toUtf8();
    if (bytes.size() > int(sizeof(out.addr.sun_path)) - 1)
        return false;
    out.addr.sun_family = AF_UNIX;
    out.addr.sun_path[0] = '\0';
    std::memcpy(out.addr.sun_path + 1, bytes.constData(), size_t(bytes.size()));
    out.length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(bytes.size()));
    return true;
}

[[noreturn]] void createError(const QString& name, int code) {
    throw common::Error(code, QStringLiteral("Error creating instance mutex (") + name +
                                  QStringLiteral("). ") + SystemErrorText(code));
}

// Handles created here, with the notifier that drains their probes (null without event loop).
QHash<int, QPointer<QSocketNotifier>>& tokens() {
    static QHash<int, QPointer<QSocketNotifier>> table;
    return table;
}

void drainProbes(int fd) {
    for (;;) {
        const int probe = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (probe < 0)
            return;
        ::close(probe);
    }
}

QSocketNotifier* newDrainNotifier(int fd) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || app->thread() != QThread::currentThread())
        return nullptr;
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [fd] { drainProbes(fd); });
    return notifier;
}

} // namespace

int CreateInstanceMutex(const QString& name) {
    if (name.isEmpty())
        createError(name, EINVAL);
    TokenAddress address;
    if (!makeAddress(name, address))
        createError(name, ENAMETOOLONG);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        createError(name, errno);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address.addr), address.length) != 0 ||
        ::listen(fd, TOKEN_BACKLOG) != 0) {
        const int code = errno == EADDRINUSE ? ERR_ALREADY_EXISTS : errno;
        ::close(fd);
        createError(name, code);
    }
    tokens().insert(fd, newDrainNotifier(fd));
    return fd;
}

void DestroyInstanceMutex(int handle) {
    const auto it = tokens().find(handle);
    const int code = it == tokens().end() ? EBADF : 0;
    if (code == 0) {
        delete it.value().data();
        tokens().erase(it);
    }
    if (code != 0 || ::close(handle) != 0) {
        const int failure = code != 0 ? code : errno;
        throw common::Error(failure, QStringLiteral("Error destroying instance mutex handle (") +
                                         QString::number(handle) + QStringLiteral("). ") +
                                         SystemErrorText(failure));
    }
}

bool MutexExists(const QString& name) {
    if (name.isEmpty())
        return false;
    TokenAddress address;
    if (!makeAddress(name, address))
        throw common::Error(ENAMETOOLONG, SystemErrorText(ENAMETOOLONG));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        throw common::Error(errno, SystemErrorText(errno));
    const int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address.addr), address.length);
    const int code = rc == 0 ? 0 : errno;
    std::optional<uid_t> holder;
    int failure = 0;
    switch (code) {
    case 0: {
        // The holder's credentials as they were when it began to listen.
        ucred credentials{};
        socklen_t size = sizeof credentials;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0)
            holder = credentials.uid;
        else
            failure = errno;
        break;
    }
    case EAGAIN:
    case EINPROGRESS:
        // A full backlog: held, but no connection to ask; the kernel tells the owner instead.
        try {
            holder = ListeningSocketOwner(
                QByteArrayView(address.addr.sun_path,
                               qsizetype(address.length - offsetof(sockaddr_un, sun_path))));
        } catch (const common::Error&) {
            ::close(fd);
            throw;
        }
        // The listener is there (its backlog is full), so a dump that missed it (the kernel
        // sends it in parts, and sockets that come and go between them can shift it) says
        // nothing: unknown, never "not held".
        if (!holder)
            failure = code;
        break;
    case ECONNREFUSED:
    case ENOENT:
        break;
    default:
        failure = code;
    }
    ::close(fd);
    if (failure != 0)
        throw common::Error(failure, SystemErrorText(failure));
    return holder && IsTrustedHolder(*holder);
}

bool IsTrustedHolder(uid_t uid) {
    return uid == ::geteuid() || uid == 0;
}

QString SystemErrorText(int code) {
    if (code == ERR_ALREADY_EXISTS)
        return QStringLiteral("Cannot create a file when that file already exists.\r\n");
    const QString message = common::ErrnoText(code);
    if (message.isEmpty() || message.startsWith(QLatin1String("Unknown error")))
        return {};
    return message + QStringLiteral("\r\n");
}

} // namespace dataserver
