#include "server/addressrange.h"

#include <QRegularExpression>
#include <algorithm>

namespace server {

namespace {
constexpr int V4_PREFIX = 96; // the bits of ::ffff: in front of an IPv4 address

IpAddress masked(IpAddress address, int prefixLength) {
    for (int i = 0; i < 16; ++i) {
        const int keep = std::clamp(prefixLength - 8 * i, 0, 8);
        address.bytes[size_t(i)] &= static_cast<unsigned char>(0xff00 >> keep);
    }
    return address;
}

// A decimal length without sign or blanks; -1 otherwise.
int lengthOf(QStringView text) {
    if (text.isEmpty() || text.size() > 3)
        return -1;
    int length = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
        length = length * 10 + (c.unicode() - '0');
    }
    return length;
}
} // namespace

bool AddressRange::contains(const IpAddress& address) const {
    return masked(address, prefixLength) == network;
}

std::optional<AddressRange> ParseAddressRange(QStringView text) {
    const qsizetype slash = text.indexOf(QLatin1Char('/'));
    const QStringView written = slash < 0 ? text : text.left(slash);
    const std::optional<IpAddress> address = ParseIpAddress(written);
    if (!address)
        return std::nullopt;
    // The length counts the bits of the form written: "::ffff:10.0.0.0/104" is "10.0.0.0/8".
    const bool v4 = !written.contains(QLatin1Char(':'));
    const int width = v4 ? 32 : 128;
    const int length = slash < 0 ? width : lengthOf(text.mid(slash + 1));
    if (length < 0 || length > width)
        return std::nullopt;
    const int prefixLength = v4 ? V4_PREFIX + length : length;
    return AddressRange{masked(*address, prefixLength), prefixLength};
}

AddressRanges ParseAddressRanges(QStringView list) {
    static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
    AddressRanges parsed;
    for (const QStringView entry : list.split(separators, Qt::SkipEmptyParts)) {
        if (const auto range = ParseAddressRange(entry))
            parsed.ranges.append(*range);
        else
            parsed.skipped.append(entry.toString());
    }
    return parsed;
}

bool AnyContains(const QList<AddressRange>& ranges, const IpAddress& address) {
    return std::any_of(ranges.begin(), ranges.end(),
                       [&address](const AddressRange& range) { return range.contains(address); });
}

} // namespace server
