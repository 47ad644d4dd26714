#include "contract/socketowner.h"

#include "common/error.h"
#include "contract/namedmutex.h"

#include <QByteArray>
#include <cerrno>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/unix_diag.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace dataserver {

namespace {

[[noreturn]] void raise(int code) {
    throw common::Error(code, QStringLiteral("Unable to ask the kernel for a socket's owner. ") +
                                  SystemErrorText(code));
}

// The name and owner of one socket of the dump; the owner is -1 when not given.
struct Listener {
    QByteArrayView name;
    int64_t uid = -1;
};

Listener parse(const nlmsghdr* message) {
    Listener listener;
    const auto* diag = static_cast<const unix_diag_msg*>(NLMSG_DATA(message));
    int length = int(message->nlmsg_len - NLMSG_LENGTH(sizeof *diag));
    for (auto* attr = reinterpret_cast<const rtattr*>(diag + 1); RTA_OK(attr, length);
         attr = RTA_NEXT(attr, length)) {
        if (attr->rta_type == UNIX_DIAG_NAME)
            listener.name = QByteArrayView(static_cast<const char*>(RTA_DATA(attr)),
                                           qsizetype(RTA_PAYLOAD(attr)));
        else if (attr->rta_type == UNIX_DIAG_UID && RTA_PAYLOAD(attr) >= sizeof(uid_t))
            listener.uid = *static_cast<const uid_t*>(RTA_DATA(attr));
    }
    return listener;
}

class DiagSocket final {
public:
    DiagSocket() : m_fd(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG)) {
        if (m_fd < 0)
            raise(errno);
    }
    ~DiagSocket() { ::close(m_fd); }
    DiagSocket(const DiagSocket&) = delete;
    DiagSocket& operator=(const DiagSocket&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

std::optional<uid_t> ListeningSocketOwner(QByteArrayView address) {
    const DiagSocket diag;
    struct {
        nlmsghdr header;
        unix_diag_req request;
    } query{};
    query.header.nlmsg_len = sizeof query;
    query.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    query.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    query.request.sdiag_family = AF_UNIX;
    query.request.udiag_states = 1 << TCP_LISTEN;
    query.request.udiag_show = UDIAG_SHOW_NAME | UDIAG_SHOW_UID;
    if (::send(diag.fd(), &query, sizeof query, 0) < 0)
        raise(errno);

    std::optional<uid_t> owner;
    alignas(nlmsghdr) char buffer[32768];
    for (;;) {
        ssize_t length = ::recv(diag.fd(), buffer, sizeof buffer, 0);
        if (length < 0 && errno == EINTR)
            continue;
        if (length <= 0)
            raise(length < 0 ? errno : EPROTO);
        for (auto* message = reinterpret_cast<const nlmsghdr*>(buffer); NLMSG_OK(message, length);
             message = NLMSG_NEXT(message, length)) {
            if (message->nlmsg_type == NLMSG_DONE)
                return owner;
            if (message->nlmsg_type == NLMSG_ERROR)
                raise(-static_cast<const nlmsgerr*>(NLMSG_DATA(message))->error);
            const Listener listener = parse(message);
            // A kernel that does not tell owners tells nothing to trust.
            if (listener.name == address && listener.uid >= 0)
                owner = uid_t(listener.uid);
        }
    }
}

} // namespace dataserver
