#include "server/peeraddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace server {

namespace {
// Dotted decimal of four bytes; once per connection, so without inet_ntop's printf.
QString dottedDecimal(const unsigned char* b) {
    char text[16];
    char* p = text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0)
            *p++ = '.';
        const int v = b[i];
        if (v >= 100)
            *p++ = char('0' + v / 100);
        if (v >= 10)
            *p++ = char('0' + v / 10 % 10);
        *p++ = char('0' + v % 10);
    }
    return QString::fromLatin1(text, p - text);
}

sockaddr_storage addressOf(int fd, int (*get)(int, sockaddr*, socklen_t*)) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (get(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        address.ss_family = AF_UNSPEC;
    return address;
}
} // namespace

QString AddressText(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET) {
        const auto* a = reinterpret_cast<const sockaddr_in*>(&address);
        return dottedDecimal(reinterpret_cast<const unsigned char*>(&a->sin_addr));
    }
    if (address.ss_family != AF_INET6)
        return {};
    const auto* a = reinterpret_cast<const sockaddr_in6*>(&address);
    if (IN6_IS_ADDR_V4MAPPED(&a->sin6_addr))
        return dottedDecimal(&a->sin6_addr.s6_addr[12]);
    char text[INET6_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
    return QString::fromLatin1(text);
}

sockaddr_storage PeerOf(int fd) {
    return addressOf(fd, ::getpeername);
}

sockaddr_storage LocalOf(int fd) {
    return addressOf(fd, ::getsockname);
}

} // namespace server
