#pragma once

#include "server/ipaddress.h"

#include <QList>
#include <QStringList>

namespace server {

// An IP address or a CIDR range of them ("10.0.0.0/8", "fd00::/8"). An IPv4 range covers the
// same clients whether they reach the listener over IPv4 or as IPv4-mapped IPv6.
struct AddressRange {
    IpAddress network;    // the host bits cleared
    int prefixLength = 0; // over the 128 bits of IpAddress: an IPv4 "/8" is 104

    bool contains(const IpAddress& address) const;
    friend bool operator==(const AddressRange&, const AddressRange&) = default;
};

// "address" (the address alone) or "address/length", the length 0 to 32 for IPv4, 0 to 128
// for IPv6; host bits set in the address are cleared ("10.1.2.3/8" is "10.0.0.0/8").
std::optional<AddressRange> ParseAddressRange(QStringView text);

// A list of addresses and ranges separated by blanks or commas, as a setting writes it: the
// ranges of its entries, and the entries that are neither, which it skips.
struct AddressRanges {
    QList<AddressRange> ranges;
    QStringList skipped;
};
AddressRanges ParseAddressRanges(QStringView list);

// Whether any of ranges contains address.
bool AnyContains(const QList<AddressRange>& ranges, const IpAddress& address);

} // namespace server
