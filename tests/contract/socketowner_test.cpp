#include "contract/socketowner.h"

#include <arpa/inet.h>
#include <atomic>
#include <cstring>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/fsuid.h>
#include <thread>
#include <unistd.h>

using dataserver::TcpSocketOwner;

namespace {

sockaddr_storage peerOf(int fd) {
    sockaddr_storage a{};
    socklen_t length = sizeof a;
    ::getpeername(fd, reinterpret_cast<sockaddr*>(&a), &length);
    return a;
}

sockaddr_storage localOf(int fd) {
    sockaddr_storage a{};
    socklen_t length = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    return a;
}

// A socket made as owner: the kernel gives a socket the file system user of the thread that
// makes it.
int socketOwnedBy(int family, uid_t owner) {
    const uid_t before = uid_t(::setfsuid(owner));
    const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ::setfsuid(before);
    return fd;
}

// A loopback connection of the test's own: a listener, a client socket, the accepted end.
class Connection {
public:
    // listenFamily AF_INET6 listens on every address, IPv4 too (the web server's listener);
    // the client connects over IPv4 to 127.0.0.1 unless clientFamily is AF_INET6 (::1).
    Connection(int listenFamily, int clientFamily, uid_t clientOwner = ::geteuid()) {
        m_listener = ::socket(listenFamily, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_storage any{};
        any.ss_family = sa_family_t(listenFamily);
        if (listenFamily == AF_INET6) {
            const int zero = 0;
            ::setsockopt(m_listener, IPPROTO_IPV6, IPV6_V6ONLY, &zero, sizeof zero);
        }
        EXPECT_EQ(::bind(m_listener, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
        EXPECT_EQ(::listen(m_listener, 4), 0);
        const sockaddr_storage listening = localOf(m_listener);
        client = socketOwnedBy(clientFamily, clientOwner);
        sockaddr_storage target{};
        if (clientFamily == AF_INET6) {
            auto& a = reinterpret_cast<sockaddr_in6&>(target);
            a.sin6_family = AF_INET6;
            a.sin6_addr = in6addr_loopback;
            a.sin6_port = reinterpret_cast<const sockaddr_in6&>(listening).sin6_port;
        } else {
            auto& a = reinterpret_cast<sockaddr_in&>(target);
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = listenFamily == AF_INET6
                             ? reinterpret_cast<const sockaddr_in6&>(listening).sin6_port
                             : reinterpret_cast<const sockaddr_in&>(listening).sin_port;
        }
        connected = ::connect(client, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0;
        accepted = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    }
    ~Connection() {
        for (const int fd : {client, accepted, m_listener})
            if (fd >= 0)
                ::close(fd);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // The owner of the client's socket as the server side asks for it: its own end is the
    // peer of the accepted socket.
    std::optional<uid_t> clientOwner() const {
        return TcpSocketOwner(peerOf(accepted), localOf(accepted));
    }
    sockaddr_storage listening() const { return localOf(m_listener); }

    int client = -1;
    int accepted = -1;
    bool connected = false;

private:
    int m_listener = -1;
};

bool hasIpv6Loopback() {
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    if (fd >= 0)
        ::close(fd);
    return bound;
}

} // namespace

TEST(TcpSocketOwner, TheClientOfALoopbackConnectionIsFoundOverEveryFamily) {
    struct Case {
        int listenFamily;
        int clientFamily;
    };
    // IPv4 alone, IPv4 through the dual-stack listener (seen as ::ffff:127.0.0.1), IPv6.
    std::vector<Case> cases = {{AF_INET, AF_INET}, {AF_INET6, AF_INET}};
    if (hasIpv6Loopback())
        cases.push_back({AF_INET6, AF_INET6});
    for (const Case& c : cases) {
        const Connection connection(c.listenFamily, c.clientFamily);
        ASSERT_TRUE(connection.connected);
        EXPECT_EQ(connection.clientOwner(), ::geteuid()) << c.listenFamily << c.clientFamily;
    }
}

TEST(TcpSocketOwner, TheOwnerIsTheClientSocketsNotOurs) {
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() != 0 || !nobody)
        GTEST_SKIP() << "needs root, to make a socket of another user";
    const Connection connection(AF_INET6, AF_INET, nobody->pw_uid);
    ASSERT_TRUE(connection.connected);
    EXPECT_EQ(connection.clientOwner(), nobody->pw_uid);
}

TEST(TcpSocketOwner, NoSocketAClosedOneAndAListenerHaveNoOwner) {
    Connection connection(AF_INET6, AF_INET);
    ASSERT_TRUE(connection.connected);
    const sockaddr_storage peer = peerOf(connection.accepted);
    const sockaddr_storage local = localOf(connection.accepted);
    // The listener answers for its own address, whatever the other end: it is no connection.
    EXPECT_EQ(TcpSocketOwner(connection.listening(), peer), std::nullopt);
    sockaddr_storage elsewhere = peer;
    auto& port = reinterpret_cast<sockaddr_in6&>(elsewhere).sin6_port;
    port = htons(uint16_t(ntohs(port) ^ 1));
    EXPECT_EQ(TcpSocketOwner(elsewhere, local), std::nullopt);
    // A client that has closed its socket leaves it to the kernel, which names no owner (uid 0)
    // while it winds the connection down: nobody's account, least of all root's.
    ::close(connection.client);
    connection.client = -1;
    EXPECT_EQ(TcpSocketOwner(peer, local), std::nullopt);
    sockaddr_storage unixAddress{};
    unixAddress.ss_family = AF_UNIX;
    EXPECT_EQ(TcpSocketOwner(unixAddress, local), std::nullopt);
}

TEST(TcpSocketOwner, LookupsFromSeveralThreadsAtOnceEachGetTheirOwnAnswer) {
    // Pages ask on their workers at the same time, through the one socket kept for them.
    const passwd* nobody = ::getpwnam("nobody");
    const uid_t other = ::geteuid() == 0 && nobody ? nobody->pw_uid : ::geteuid();
    const Connection mine(AF_INET6, AF_INET);
    const Connection theirs(AF_INET6, AF_INET, other);
    ASSERT_TRUE(mine.connected && theirs.connected);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            const Connection& connection = t % 2 ? theirs : mine;
            const uid_t expected = t % 2 ? other : ::geteuid();
            for (int i = 0; i < 200; ++i)
                wrong += connection.clientOwner() == expected ? 0 : 1;
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
}
