#include "contract/socketowner.h"

#include "contract/socketdiag.h"

#include <QByteArray>
#include <cstring>
#include <linux/inet_diag.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/unix_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>

namespace dataserver {

namespace {

// The name and owner of one socket of the dump; the owner is -1 when not given.
struct Listener {
    QByteArrayView name;
    int64_t uid = -1;
};

Listener parse(const nlmsghdr& message) {
    Listener listener;
    const auto* diag = static_cast<const unix_diag_msg*>(NLMSG_DATA(&message));
    int length = int(message.nlmsg_len - NLMSG_LENGTH(sizeof *diag));
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

// One end of a TCP connection as the socket diagnostics name it: the family, the address in
// the first 4 or 16 bytes, the port in network order.
struct TcpEnd {
    int family = AF_UNSPEC;
    __be32 address[4] = {};
    __be16 port = 0;
};

TcpEnd tcpEnd(const sockaddr_storage& address) {
    TcpEnd end;
    if (address.ss_family == AF_INET) {
        const auto& a = reinterpret_cast<const sockaddr_in&>(address);
        end.family = AF_INET;
        std::memcpy(end.address, &a.sin_addr, 4);
        end.port = a.sin_port;
    } else if (address.ss_family == AF_INET6) {
        const auto& a = reinterpret_cast<const sockaddr_in6&>(address);
        const bool mapped = IN6_IS_ADDR_V4MAPPED(&a.sin6_addr);
        end.family = mapped ? AF_INET : AF_INET6;
        std::memcpy(end.address, mapped ? &a.sin6_addr.s6_addr[12] : a.sin6_addr.s6_addr,
                    mapped ? 4 : 16);
        end.port = a.sin6_port;
    }
    return end;
}

bool sameEnd(const TcpEnd& end, const __be32* address, __be16 port) {
    return end.port == port &&
           std::memcmp(end.address, address, end.family == AF_INET ? 4 : 16) == 0;
}

} // namespace

std::optional<uid_t> ListeningSocketOwner(QByteArrayView address) {
    SocketDiagnosticsQuery<unix_diag_req> query(NLM_F_REQUEST | NLM_F_DUMP);
    query.request.sdiag_family = AF_UNIX;
    query.request.udiag_states = 1 << TCP_LISTEN;
    query.request.udiag_show = UDIAG_SHOW_NAME | UDIAG_SHOW_UID;
    std::optional<uid_t> owner;
    const int error = AskSocketDiagnostics(query.header, [&](const nlmsghdr& message) {
        const Listener listener = parse(message);
        // A kernel that does not tell owners tells nothing to trust.
        if (listener.name == address && listener.uid >= 0)
            owner = uid_t(listener.uid);
    });
    if (error != 0)
        RaiseSocketDiagnosticsError(error);
    return owner;
}

std::optional<uid_t> TcpSocketOwner(const sockaddr_storage& local, const sockaddr_storage& remote) {
    const TcpEnd own = tcpEnd(local);
    const TcpEnd other = tcpEnd(remote);
    if (own.family == AF_UNSPEC || own.family != other.family)
        return std::nullopt;
    // A lookup of exactly this connection, not a dump of every socket.
    SocketDiagnosticsQuery<inet_diag_req_v2> query(NLM_F_REQUEST);
    query.request.sdiag_family = __u8(own.family);
    query.request.sdiag_protocol = IPPROTO_TCP;
    query.request.idiag_states = ~0U;
    query.request.id.idiag_sport = own.port;
    query.request.id.idiag_dport = other.port;
    std::memcpy(query.request.id.idiag_src, own.address, sizeof own.address);
    std::memcpy(query.request.id.idiag_dst, other.address, sizeof other.address);
    query.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    query.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    std::optional<uid_t> owner;
    const int error = AskSocketDiagnostics(query.header, [&](const nlmsghdr& message) {
        if (message.nlmsg_type != SOCK_DIAG_BY_FAMILY ||
            message.nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg)))
            return;
        const auto* diag = static_cast<const inet_diag_msg*>(NLMSG_DATA(&message));
        // A socket its process has closed has no inode, and one waiting out the end of its
        // connection reports uid 0: neither has an owner to name. A listener the kernel may
        // fall back to is not the connection either.
        if (diag->idiag_inode == 0 || diag->idiag_state == TCP_LISTEN ||
            diag->idiag_state == TCP_TIME_WAIT || diag->idiag_family != own.family ||
            !sameEnd(own, diag->id.idiag_src, diag->id.idiag_sport) ||
            !sameEnd(other, diag->id.idiag_dst, diag->id.idiag_dport))
            return;
        owner = diag->idiag_uid;
    });
    if (error == ENOENT)
        return std::nullopt;
    if (error != 0)
        RaiseSocketDiagnosticsError(error);
    return owner;
}

} // namespace dataserver
