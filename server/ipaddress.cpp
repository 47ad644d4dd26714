#include "server/ipaddress.h"

#include "server/peeraddress.h"

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>

namespace server {

namespace {
constexpr unsigned char V4_MAPPED[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};

IpAddress mapped(const void* v4) {
    IpAddress a;
    std::memcpy(a.bytes.data(), V4_MAPPED, 12);
    std::memcpy(a.bytes.data() + 12, v4, 4);
    return a;
}
} // namespace

bool IpAddress::isV4() const {
    return std::memcmp(bytes.data(), V4_MAPPED, 12) == 0;
}

bool IpAddress::isLoopback() const {
    if (isV4())
        return bytes[12] == 127;
    return *this == IpAddress{{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}};
}

QString IpAddress::text() const {
    sockaddr_storage address{};
    auto& a = reinterpret_cast<sockaddr_in6&>(address);
    a.sin6_family = AF_INET6;
    std::memcpy(a.sin6_addr.s6_addr, bytes.data(), 16);
    return AddressText(address);
}

std::optional<IpAddress> ParseIpAddress(QStringView text) {
    // inet_pton reads the address forms exactly: no blanks, no octal or short IPv4 forms.
    if (text.isEmpty() || text.size() >= INET6_ADDRSTRLEN)
        return std::nullopt;
    char ascii[INET6_ADDRSTRLEN] = {};
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == 0 || c > 0x7e)
            return std::nullopt;
        ascii[i] = char(c);
    }
    in_addr v4{};
    if (::inet_pton(AF_INET, ascii, &v4) == 1)
        return mapped(&v4);
    IpAddress a;
    if (::inet_pton(AF_INET6, ascii, a.bytes.data()) == 1)
        return a;
    return std::nullopt;
}

std::optional<IpAddress> IpAddressOf(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET)
        return mapped(&reinterpret_cast<const sockaddr_in&>(address).sin_addr);
    if (address.ss_family != AF_INET6)
        return std::nullopt;
    IpAddress a;
    std::memcpy(a.bytes.data(), reinterpret_cast<const sockaddr_in6&>(address).sin6_addr.s6_addr,
                16);
    return a;
}

} // namespace server
