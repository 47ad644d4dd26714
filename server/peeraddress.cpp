#include "server/peeraddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace server {

QString AddressText(const sockaddr_storage& address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto* a = reinterpret_cast<const sockaddr_in*>(&address);
        ::inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
    } else if (address.ss_family == AF_INET6) {
        const auto* a = reinterpret_cast<const sockaddr_in6*>(&address);
        if (IN6_IS_ADDR_V4MAPPED(&a->sin6_addr))
            ::inet_ntop(AF_INET, &a->sin6_addr.s6_addr[12], text, sizeof text);
        else
            ::inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
    }
    return QString::fromLatin1(text);
}

QString PeerAddress(int fd) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return {};
    return AddressText(address);
}

} // namespace server
