#pragma once

#include <cstddef>
#include <functional>
#include <linux/netlink.h>

namespace dataserver {

// One question to the kernel's socket diagnostics (NETLINK_SOCK_DIAG), on a socket of its
// own: sends request (a netlink message, header first) and hands every message of the answer
// to take, up to the end of a dump (NLM_F_DUMP) or, for a lookup of one socket, the answer's
// single datagram. The kernel answers while the request is sent: no peer is waited for.
// Returns 0, or the error the kernel answered with (ENOENT: no such socket); raises
// common::Error when the kernel cannot be asked.
int AskSocketDiagnostics(const nlmsghdr& request, const std::function<void(const nlmsghdr&)>& take);

// Raises the common::Error that says the kernel could not be asked, with the error code.
[[noreturn]] void RaiseSocketDiagnosticsError(int code);

} // namespace dataserver
