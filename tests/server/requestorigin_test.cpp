#include "server/requestorigin.h"
#include "tests/support/qtprinters.h"

#include <arpa/inet.h>
#include <cstring>
#include <gtest/gtest.h>
#include <netinet/in.h>

using server::RequestOrigin;
using Via = server::RequestOrigin::Via;

namespace {

// The socket address of an IPv6 text (IPv4 as ::ffff:a.b.c.d, as the dual-stack listener sees
// it) and a port.
sockaddr_storage endOf(const char* address, int port) {
    sockaddr_storage s{};
    auto& a = reinterpret_cast<sockaddr_in6&>(s);
    a.sin6_family = AF_INET6;
    a.sin6_port = htons(uint16_t(port));
    EXPECT_EQ(::inet_pton(AF_INET6, address, &a.sin6_addr), 1) << address;
    return s;
}

RequestOrigin originOf(const char* peer, const QByteArray& headerLines,
                       const QString& trusted = {}) {
    const QByteArray request = "GET /?a=1 HTTP/1.1\r\nHost: h\r\n" + headerLines + "\r\n";
    return server::OriginOf(request, {endOf("::ffff:127.0.0.1", 8080), endOf(peer, 40000)},
                            server::ParseAddressRanges(trusted).ranges);
}

} // namespace

TEST(RequestOrigin, APeerIsAProxyOnlyWhenTrustedAndOnlyThenAreItsHeadersRead) {
    struct Case {
        const char* peer;
        QString trusted;
        Via via;
        QString clientAddress;
        QString proxyUser;
    };
    const QByteArray lines = "Remote-User: alice\r\nX-Forwarded-For: 203.0.113.9\r\n";
    const Case cases[] = {
        {"::ffff:127.0.0.1", "", Via::Loopback, "127.0.0.1", ""},
        {"::1", "10.0.0.0/8", Via::Loopback, "::1", ""},
        {"::ffff:192.0.2.5", "", Via::Network, "192.0.2.5", ""},
        {"::ffff:192.0.2.5", "192.0.2.0/24", Via::TrustedProxy, "203.0.113.9", "alice"},
        {"::ffff:127.0.0.1", "127.0.0.1", Via::TrustedProxy, "203.0.113.9", "alice"},
        {"::1", "::1", Via::TrustedProxy, "203.0.113.9", "alice"},
        {"2001:db8::7", "192.0.2.0/24", Via::Network, "2001:db8::7", ""},
    };
    for (const Case& c : cases) {
        const RequestOrigin o = originOf(c.peer, lines, c.trusted);
        EXPECT_EQ(o.via, c.via) << c.peer;
        EXPECT_EQ(o.clientAddress, c.clientAddress) << c.peer;
        EXPECT_EQ(o.proxyUser, c.proxyUser) << c.peer;
    }
    // The connection goes with it, for the worker that looks up the socket's owner.
    const RequestOrigin o = originOf("::1", {});
    const sockaddr_storage peer = endOf("::1", 40000);
    EXPECT_EQ(std::memcmp(&o.ends.peer, &peer, sizeof peer), 0);
    EXPECT_EQ(reinterpret_cast<const sockaddr_in6&>(o.ends.local).sin6_port, htons(8080));
}

TEST(RequestOrigin, ATrustedProxysRemoteUserIsTakenOnlyAsOneLineOfPlainText) {
    struct Case {
        QByteArray lines;
        QString user; // "" : anonymous
    };
    const Case cases[] = {
        {"Remote-User: alice\r\n", "alice"},
        {"remote-user:  bob \r\n", "bob"},
        {"Remote-User: m\xc3\xbcller@EXAMPLE.ORG\r\n", QString::fromUtf8("müller@EXAMPLE.ORG")},
        {"Remote-User: " + QByteArray(256, 'a') + "\r\n", QString(256, 'a')},
        {"Remote-User: " + QByteArray(257, 'a') + "\r\n", ""},
        {"Remote-User: " + QByteArray(128, 'a') + QByteArray("\xc3\xa9").repeated(128) + "\r\n",
         QString(128, 'a') + QString(128, QChar(0xe9))}, // characters, not bytes
        {"Remote-User:\r\n", ""},
        {"", ""},
        {"Remote-User: al\x01ice\r\n", ""},
        {"Remote-User: al\x7fice\r\n", ""},
        {"Remote-User: al\xc2\x85ice\r\n", ""}, // C1 NEXT LINE
        {"Remote-User: m\xfcller\r\n", ""},     // not UTF-8
        {"Remote-User: alice\r\nRemote-User: mallory\r\n", ""},
        {"Remote-User: alice\r\nRemote-User: alice\r\n", ""},
        {"Remote_User: alice\r\n", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(originOf("::ffff:192.0.2.5", c.lines, "192.0.2.5").proxyUser, c.user)
            << c.lines.toStdString();
}

TEST(RequestOrigin, AProxysClientIsTheLastAddressItForwardedWhenThatIsOne) {
    struct Case {
        QByteArray lines;
        QString client;
    };
    const Case cases[] = {
        {"X-Forwarded-For: 203.0.113.9\r\n", "203.0.113.9"},
        {"X-Forwarded-For: 1.1.1.1, 2001:DB8::1\r\n", "2001:db8::1"},
        {"x-forwarded-for: 6.6.6.6\r\nX-Forwarded-For: 1.1.1.1,203.0.113.9 \r\n", "203.0.113.9"},
        {"X-Forwarded-For: ::ffff:203.0.113.9\r\n", "203.0.113.9"},
        {"X-Forwarded-For: 203.0.113.9, unknown\r\n", "192.0.2.5"},
        {"X-Forwarded-For: 203.0.113.9:4711\r\n", "192.0.2.5"},
        {"X-Forwarded-For: \r\n", "192.0.2.5"},
        {"", "192.0.2.5"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(originOf("::ffff:192.0.2.5", c.lines, "192.0.2.5").clientAddress, c.client)
            << c.lines.toStdString();
}
