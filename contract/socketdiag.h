#pragma once

#include <cstddef>
#include <functional>
#include <linux/netlink.h>
#include <linux/sock_diag.h>

namespace dataserver {

// A question to the socket diagnostics about one family of sockets: the netlink header, then
// that family's request (unix_diag_req, inet_diag_req_v2), zeroed for the caller to fill.
template <typename Request> struct SocketDiagnosticsQuery {
    nlmsghdr header{};
    Request request{};

    explicit SocketDiagnosticsQuery(__u16 flags) {
        header.nlmsg_len = sizeof *this;
        header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
        header.nlmsg_flags = flags;
    }
};

// One question to the kernel's socket diagnostics (NETLINK_SOCK_DIAG): sends request (a
// netlink message, header first; its sequence number is set here) and hands every message of
// the answer to take, up to the end of a dump (NLM_F_DUMP) or, for a lookup of one socket, its
// answer. The kernel answers while the request is sent: no peer is waited for. Questions from
// any thread go one at a time through one socket, kept open for the run. Returns 0, or the
// error the kernel answered with (ENOENT: no such socket); raises common::Error when the
// kernel cannot be asked.
int AskSocketDiagnostics(nlmsghdr& request, const std::function<void(const nlmsghdr&)>& take);

// Raises the common::Error that says the kernel could not be asked, with the error code.
[[noreturn]] void RaiseSocketDiagnosticsError(int code);

} // namespace dataserver
