#pragma once

#include <QString>
#include <QStringView>
#include <array>
#include <optional>
#include <sys/socket.h>

namespace server {

// An IP address, an IPv4 one held as IPv4-mapped IPv6 (::ffff:a.b.c.d): a client that reaches
// the dual-stack listener over IPv4 is then the same address as the one written "a.b.c.d".
struct IpAddress {
    std::array<unsigned char, 16> bytes{};

    bool isV4() const;
    // 127.0.0.0/8 and ::1.
    bool isLoopback() const;
    // Dotted decimal for IPv4, as AddressText gives a peer's address.
    QString text() const;
    friend bool operator==(const IpAddress&, const IpAddress&) = default;
};

// "a.b.c.d" (decimal, no leading zeros) or an IPv6 address in any of its written forms; no
// port, brackets, zone or blanks.
std::optional<IpAddress> ParseIpAddress(QStringView text);

// The address of an AF_INET or AF_INET6 socket address.
std::optional<IpAddress> IpAddressOf(const sockaddr_storage& address);

} // namespace server
