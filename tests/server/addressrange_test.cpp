#include "server/addressrange.h"
#include "tests/support/qtprinters.h"

#include <gtest/gtest.h>

using server::ParseAddressRange;
using server::ParseIpAddress;

TEST(IpAddress, OnlyAddressesAsWrittenAreReadAndIPv4ReadsAlikeInBothForms) {
    struct Case {
        QString text;
        QString read; // "" : not an address
    };
    const Case cases[] = {
        {"192.0.2.10", "192.0.2.10"},
        {"::ffff:192.0.2.10", "192.0.2.10"}, // the form a dual-stack listener sees
        {"::1", "::1"},
        {"2001:DB8:0:0::1", "2001:db8::1"},
        {"0.0.0.0", "0.0.0.0"},
        {"", ""},
        {" 192.0.2.10", ""},
        {"192.0.2", ""},
        {"192.0.2.256", ""},
        {"010.0.2.10", ""}, // no octal, hexadecimal or short forms
        {"0xc0.0.2.10", ""},
        {"192.0.2.10:80", ""},
        {"[::1]", ""},
        {"fe80::1%eth0", ""},
        {"unknown", ""},
        {QString::fromUtf8("１.2.3.4"), ""},
        {QString(QChar(0)) + "1.2.3.4", ""},
    };
    for (const Case& c : cases) {
        const auto address = ParseIpAddress(c.text);
        EXPECT_EQ(address ? address->text() : QString(), c.read) << c.text.toStdString();
    }
    EXPECT_EQ(ParseIpAddress(u"10.0.0.1"), ParseIpAddress(u"::ffff:10.0.0.1"));
}

TEST(IpAddress, LoopbackIsTheWholeOf127AndOnlyColonColonOne) {
    for (const char* text : {"127.0.0.1", "127.255.0.9", "::ffff:127.0.0.1", "::1"})
        EXPECT_TRUE(ParseIpAddress(QString::fromLatin1(text))->isLoopback()) << text;
    for (const char* text : {"128.0.0.1", "10.127.0.1", "::2", "::", "::127.0.0.1", "0.0.0.0"})
        EXPECT_FALSE(ParseIpAddress(QString::fromLatin1(text))->isLoopback()) << text;
}

TEST(AddressRange, RangesHoldWhatTheirPrefixCoversInEitherForm) {
    struct Case {
        QString range;
        QStringList inside;
        QStringList outside;
    };
    const Case cases[] = {
        {"192.0.2.10", {"192.0.2.10", "::ffff:192.0.2.10"}, {"192.0.2.11", "::1"}},
        {"10.0.0.0/8", {"10.0.0.1", "10.255.255.255", "::ffff:10.9.9.9"}, {"11.0.0.0", "::a00:1"}},
        {"10.1.2.3/8", {"10.200.0.1"}, {"11.0.0.0"}}, // host bits cleared
        {"192.0.2.128/25", {"192.0.2.128", "192.0.2.255"}, {"192.0.2.127"}},
        {"0.0.0.0/0", {"1.2.3.4", "::ffff:255.0.0.1"}, {"::1", "2001:db8::1"}},
        {"::1", {"::1"}, {"127.0.0.1", "::2"}},
        {"2001:db8::/32", {"2001:db8:ffff::1"}, {"2001:db9::1"}},
        {"::ffff:10.0.0.0/104", {"10.1.1.1"}, {"11.1.1.1"}}, // an IPv6 length on the IPv6 form
        {"::/0", {"::1", "10.0.0.1"}, {}},
    };
    for (const Case& c : cases) {
        const auto range = ParseAddressRange(c.range);
        ASSERT_TRUE(range) << c.range.toStdString();
        for (const QString& address : c.inside)
            EXPECT_TRUE(range->contains(*ParseIpAddress(address)))
                << c.range.toStdString() << " " << address.toStdString();
        for (const QString& address : c.outside)
            EXPECT_FALSE(range->contains(*ParseIpAddress(address)))
                << c.range.toStdString() << " " << address.toStdString();
    }
    for (const char* bad : {"10.0.0.0/33", "::/129", "10.0.0.0/", "10.0.0.0/-1", "10.0.0.0/+8",
                            "10.0.0.0/ 8", "10.0.0.0/8/8", "/8", "host.example", "10.0.0.0/0x8"})
        EXPECT_FALSE(ParseAddressRange(QString::fromLatin1(bad))) << bad;
}

TEST(AddressRange, AListTakesBlanksAndCommasAndSkipsWhatIsNoRange) {
    const server::AddressRanges parsed =
        server::ParseAddressRanges(QStringLiteral(" 10.0.0.0/8,,::1\tproxy.lan ,192.0.2.7\n"
                                                  "300.1.1.1"));
    ASSERT_EQ(parsed.ranges.size(), 3);
    EXPECT_EQ(parsed.ranges[1], *ParseAddressRange(u"::1"));
    EXPECT_EQ(parsed.skipped, QStringList({"proxy.lan", "300.1.1.1"}));
    EXPECT_TRUE(server::AnyContains(parsed.ranges, *ParseIpAddress(u"192.0.2.7")));
    EXPECT_FALSE(server::AnyContains(parsed.ranges, *ParseIpAddress(u"192.0.2.8")));
    EXPECT_TRUE(server::ParseAddressRanges(QString()).ranges.isEmpty());
}
