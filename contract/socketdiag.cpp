#include "contract/socketdiag.h"

#include "common/error.h"
#include "contract/namedmutex.h"

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace dataserver {

namespace {

class DiagSocket final {
public:
    DiagSocket() : m_fd(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG)) {
        if (m_fd < 0)
            RaiseSocketDiagnosticsError(errno);
    }
    ~DiagSocket() { ::close(m_fd); }
    DiagSocket(const DiagSocket&) = delete;
    DiagSocket& operator=(const DiagSocket&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

void RaiseSocketDiagnosticsError(int code) {
    throw common::Error(code, QStringLiteral("Unable to ask the kernel for a socket's owner. ") +
                                  SystemErrorText(code));
}

int AskSocketDiagnostics(const nlmsghdr& request,
                         const std::function<void(const nlmsghdr&)>& take) {
    const DiagSocket diag;
    if (::send(diag.fd(), &request, request.nlmsg_len, 0) < 0)
        RaiseSocketDiagnosticsError(errno);
    const bool dump = (request.nlmsg_flags & NLM_F_DUMP) != 0;
    alignas(nlmsghdr) char buffer[32768];
    for (;;) {
        ssize_t length = ::recv(diag.fd(), buffer, sizeof buffer, 0);
        if (length < 0 && errno == EINTR)
            continue;
        if (length <= 0)
            RaiseSocketDiagnosticsError(length < 0 ? errno : EPROTO);
        for (auto* message = reinterpret_cast<const nlmsghdr*>(buffer); NLMSG_OK(message, length);
             message = NLMSG_NEXT(message, length)) {
            if (message->nlmsg_type == NLMSG_DONE)
                return 0;
            if (message->nlmsg_type == NLMSG_ERROR)
                return -static_cast<const nlmsgerr*>(NLMSG_DATA(message))->error;
            take(*message);
        }
        if (!dump)
            return 0;
    }
}

} // namespace dataserver
