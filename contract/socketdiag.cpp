#include "contract/socketdiag.h"

#include "common/error.h"
#include "contract/namedmutex.h"

#include <cerrno>
#include <mutex>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace dataserver {

namespace {

// The kernel answers while the question is sent; a wait this long means the answer is lost.
constexpr int ANSWER_WAIT_SECONDS = 2;

// One exchange on fd: request sent, its answer handed to take.
int exchange(int fd, const nlmsghdr& request, const std::function<void(const nlmsghdr&)>& take) {
    if (::send(fd, &request, request.nlmsg_len, 0) < 0)
        RaiseSocketDiagnosticsError(errno);
    const bool dump = (request.nlmsg_flags & NLM_F_DUMP) != 0;
    alignas(nlmsghdr) char buffer[32768];
    for (;;) {
        ssize_t length = ::recv(fd, buffer, sizeof buffer, 0);
        if (length < 0 && errno == EINTR)
            continue;
        if (length < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            RaiseSocketDiagnosticsError(ETIMEDOUT);
        if (length <= 0)
            RaiseSocketDiagnosticsError(length < 0 ? errno : EPROTO);
        bool answered = false;
        for (auto* message = reinterpret_cast<const nlmsghdr*>(buffer); NLMSG_OK(message, length);
             message = NLMSG_NEXT(message, length)) {
            if (message->nlmsg_seq != request.nlmsg_seq)
                continue; // left over from a question given up
            answered = true;
            if (message->nlmsg_type == NLMSG_DONE)
                return 0;
            if (message->nlmsg_type == NLMSG_ERROR)
                return -static_cast<const nlmsgerr*>(NLMSG_DATA(message))->error;
            take(*message);
        }
        if (answered && !dump)
            return 0;
    }
}

// The socket every question goes through, one question at a time. Pages of loopback clients
// ask for every request: a socket of its own per question would cost twice the question, and
// one per worker thread a descriptor each.
class SharedDiagSocket final {
public:
    ~SharedDiagSocket() { drop(); }

    int ask(nlmsghdr& request, const std::function<void(const nlmsghdr&)>& take) {
        const std::lock_guard guard(m_lock);
        if (m_fd < 0)
            open();
        request.nlmsg_seq = ++m_sequence;
        try {
            return exchange(m_fd, request, take);
        } catch (...) {
            drop(); // whatever is left unread must not meet the next question
            throw;
        }
    }

private:
    void open() {
        m_fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
        if (m_fd < 0)
            RaiseSocketDiagnosticsError(errno);
        const timeval wait{ANSWER_WAIT_SECONDS, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    }
    void drop() {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    std::mutex m_lock;
    int m_fd = -1;
    __u32 m_sequence = 0;
};

} // namespace

void RaiseSocketDiagnosticsError(int code) {
    throw common::Error(code, QStringLiteral("Unable to ask the kernel for a socket's owner. ") +
                                  SystemErrorText(code));
}

int AskSocketDiagnostics(nlmsghdr& request, const std::function<void(const nlmsghdr&)>& take) {
    static SharedDiagSocket shared;
    return shared.ask(request, take);
}

} // namespace dataserver
