#include "tests/support/loopbackclient.h"

#include <QTest>
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace support {

namespace {
constexpr int CLIENT_WAIT_MS = 20000;
}

LoopbackClient::LoopbackClient(quint16 port, bool ipv6)
    : m_fd(::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    if (ipv6) {
        sockaddr_in6 a{};
        a.sin6_family = AF_INET6;
        a.sin6_port = htons(port);
        a.sin6_addr = in6addr_loopback;
        m_connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    } else {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ::fcntl(m_fd, F_SETFL, O_NONBLOCK);
}

void LoopbackClient::send(QByteArrayView bytes) {
    qsizetype sent = 0;
    const bool done = QTest::qWaitFor(
        [&] {
            while (sent < bytes.size()) {
                const ssize_t n =
                    ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
                if (n < 0)
                    return errno != EAGAIN && errno != EWOULDBLOCK;
                sent += n;
            }
            return true;
        },
        CLIENT_WAIT_MS);
    EXPECT_TRUE(done);
}

void LoopbackClient::shutdownWrite() {
    ::shutdown(m_fd, SHUT_WR);
}

void LoopbackClient::reset() {
    const linger abort{1, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    close();
}

void LoopbackClient::close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool LoopbackClient::poll() {
    if (m_closed)
        return true;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            m_received.append(buffer, n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return false;
        m_closed = true;
        return true;
    }
}

QByteArray LoopbackClient::readToEnd() {
    EXPECT_TRUE(QTest::qWaitFor([this] { return poll(); }, CLIENT_WAIT_MS));
    return m_received;
}

HttpAnswer SplitAnswer(const QByteArray& bytes) {
    const qsizetype blank = bytes.indexOf("\r\n\r\n");
    if (blank < 0)
        return {{QString::fromLatin1(bytes)}, {}};
    return {QString::fromLatin1(bytes.left(blank)).split("\r\n"), bytes.mid(blank + 4)};
}

} // namespace support
