// IPv6 address text, read and written, with no socket and no system parser.
#include "net/IdAddressText.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// Each text that reads as an address, and the text it is written as.
TEST(Ip6Text, ReadsEveryRfc4291FormAndWritesItAsRfc5952) {
    struct TCase {
        const char* Text;
        const char* Written;
    };
    const TCase Cases[] = {
        {"2001:0DB8:0000:0000:0000:0000:0000:0001", "2001:db8::1"},
        {"2001:db8:0:0:1:0:0:1", "2001:db8::1:0:0:1"},    // first of two equal runs
        {"2001:0:0:1:0:0:0:1", "2001:0:0:1::1"},          // the longest run, not the first
        {"2001:db8:0:1:1:1:1:1", "2001:db8:0:1:1:1:1:1"}, // a lone zero group stays
        {"::", "::"},
        {"::1", "::1"},
        {"1::", "1::"},
        {"1:2:3:4:5:6:7::", "1:2:3:4:5:6:7:0"},
        {"::2:3:4:5:6:7:8", "0:2:3:4:5:6:7:8"},
        {"fe80::1%eth0", "fe80::1%eth0"},
        {"[2001:db8::1]", "2001:db8::1"},
        {"[fe80::a%12]", "fe80::a%12"},
        {"::ffff:1.2.3.4", "::ffff:1.2.3.4"},
        {"::FFFF:0102:0304", "::ffff:1.2.3.4"},
        {"::1.2.3.4", "::102:304"},
        {"1:2:3:4:5:6:255.255.0.0", "1:2:3:4:5:6:ffff:0"},
        {"64:ff9b::192.0.2.33", "64:ff9b::c000:221"},
        {"2a00:1450:4001:82b::200e", "2a00:1450:4001:82b::200e"},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Text);
        TIp6Address Address;
        ASSERT_TRUE(ParseIp6Text(Case.Text, Address));
        EXPECT_EQ(Ip6Text(Address), Case.Written);
        TIp6Address Again;
        ASSERT_TRUE(ParseIp6Text(Ip6Text(Address), Again));
        EXPECT_EQ(Again, Address);
    }
    TIp6Address Loopback;
    ASSERT_TRUE(ParseIp6Text("0:0:0:0:0:0:0:1", Loopback));
    const uint8_t Expected[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    EXPECT_TRUE(std::equal(Expected, Expected + 16, Loopback.Bytes));
    EXPECT_EQ(Loopback.Zone, "");
}

TEST(Ip6Text, RefusesEveryOtherTextAndLeavesTheAddressAlone) {
    const char* const Texts[] = {
        "",
        "1.2.3.4",
        ":",
        ":::",
        "1:2:3:4:5:6:7",
        "1:2:3:4:5:6:7:8:9",
        "1:2:3:4:5:6:7:8::",
        "::1:2:3:4:5:6:7:8",
        "1::2::3",
        ":1::2",
        "1::2:",
        "12345::",
        "g::1",
        " ::1",
        "::1 ",
        "::1.2.3",
        "::1.2.3.4.5",
        "::01.2.3.4",
        "::256.2.3.4",
        "::1.2.3.4:5",
        "1.2.3.4::",
        "1:2:3:4:5:6:7:1.2.3.4",
        "[::1",
        "::1]",
        "[::1]]",
        "[]",
        "[::1]%eth0",
        "fe80::1%",
        "fe80::1%eth 0",
        "fe80::1%a%b",
        "fe80::1%a/b",
        "fe80::1%abcdefghijklmnop",
    };
    for (const char* Text : Texts) {
        SCOPED_TRACE(Text);
        TIp6Address Address;
        Address.Bytes[0] = 0xAB;
        Address.Zone = "kept";
        EXPECT_FALSE(ParseIp6Text(Text, Address));
        EXPECT_EQ(Address.Bytes[0], 0xAB);
        EXPECT_EQ(Address.Zone, "kept");
    }
}

} // namespace
