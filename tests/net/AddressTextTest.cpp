// IPv6 address text, read and written, with no socket and no system parser.
#include "net/AddressEllipsis.h"
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
        "1234",
        "beef",
        "localhost",
        "[1234]",
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

// A bitmap font's widths: hex digits 6 px, colons and dots 3, the ellipsis glyph 9, any other
// character 6; "Reply from " in front takes 64 px, as in the status box of 161.
int StatusWidth(std::string_view AText) {
    int Width = 64;
    for (const char C : AText) {
        if (C == ':' || C == '.') {
            Width += 3;
        } else if (C == '\xE2') {
            Width += 9; // the first byte of "…"; the other two add nothing
        } else if ((static_cast<unsigned char>(C) & 0xC0) != 0x80) {
            Width += 6;
        }
    }
    return Width;
}

TEST(AddressEllipsis, KeepsAsManyLeadingAndTrailingGroupsAsFit) {
    struct TCase {
        const char* Address;
        int Box;
        const char* Ellipsis;
        const char* Shown;
    };
    const TCase Cases[] = {
        {"2001:db8::1", 161, "…", "2001:db8::1"},
        {"2a00:1450:4001:82b::200e", 161, "…", "2a00:1450…:200e"},
        {"2a00:1450:4001:82b::200e", 161, "...", "2a00:1450...:200e"},
        {"2a00:1450:4001:82b::200e", 175, "…", "2a00:1450…:82b::200e"},
        {"2a00:1450:4001::82b:200e", 175, "…", "2a00:1450…:82b:200e"},
        {"2a00:1450:4001:82b::200e", 193, "…", "2a00:1450:4001:82b::200e"},
        {"2a00:1450:4001:82b::200e", 134, "…", "2a00…:200e"},
        {"2a00:1450:4001:82b::200e", 104, "…", "2a00…"},
        {"2a00:1450:4001:82b::200e", 84, "…", "2a00…"},
        {"fe80::1234:5678:9abc:def0%eth0", 161, "…", "fe80…:def0%eth0"},
        {"fe80::1234:5678:9abc:def0%eth0", 190, "…", "fe80::1234…:def0%eth0"},
        {"::ffff:192.168.100.200", 130, "…", "::ffff…"},
        {"1:2:3:4:5:6::", 95, "…", "1…:6::"},
        {"192.168.100.200", 100, "…", "192.168.100.200"},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(std::string(Case.Address) + " in " + std::to_string(Case.Box));
        EXPECT_EQ(ShortenAddress(Case.Address, StatusWidth, Case.Box, Case.Ellipsis), Case.Shown);
    }
}

} // namespace
