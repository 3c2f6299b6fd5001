#include "net/SysInet.h"

#include "net/Resolver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
constexpr uint32_t Quad(uint32_t A, uint32_t B, uint32_t C, uint32_t D) {
    return (A << 24) | (B << 16) | (C << 8) | D;
}

struct TQuadCase {
    const char* Text;
    uint32_t Number;
    friend void PrintTo(const TQuadCase& C, std::ostream* Os) { *Os << '"' << C.Text << '"'; }
};

class DottedQuadToNumber : public ::testing::TestWithParam<TQuadCase> {};

TEST_P(DottedQuadToNumber, GivesTheAddressNumberOrZero) {
    EXPECT_EQ(TInternetManager().DottedQuadToNumber(GetParam().Text), GetParam().Number);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DottedQuadToNumber,
    ::testing::Values(
        TQuadCase{"192.168.0.1", Quad(192, 168, 0, 1)}, TQuadCase{"255.255.255.255", 0xFFFFFFFFu},
        TQuadCase{"0.0.0.0", 0}, TQuadCase{"256.0.0.1", 0}, TQuadCase{"1.2.3.256", 0},
        TQuadCase{"1.2.3", 0}, TQuadCase{"1.2.3.4.5", 0}, TQuadCase{"1..2.3", Quad(1, 0, 2, 3)},
        TQuadCase{"one.two.three.four", 0}, TQuadCase{"10.x.y.z", Quad(10, 0, 0, 0)},
        TQuadCase{" 1.2.3.4", Quad(1, 2, 3, 4)}, TQuadCase{"1.2.3.4 ", Quad(1, 2, 3, 0)},
        TQuadCase{"$7F.0.0.1", Quad(127, 0, 0, 1)}, TQuadCase{"0x7f.0X0.x0.1", Quad(127, 0, 0, 1)},
        TQuadCase{"-1.0.0.0", Quad(255, 0, 0, 0)}, TQuadCase{"1.-256.0.0", 0}, TQuadCase{"", 0},
        TQuadCase{"...", 0}, TQuadCase{"2147483647.0.0.1", 0}, TQuadCase{"2147483648.0.0.1", 1},
        TQuadCase{"$FFFFFFFF.0.0.1", Quad(255, 0, 0, 1)}, TQuadCase{"$100000000.0.0.1", 1},
        TQuadCase{"1.2.3.-2147483648", 0x81020300u}));

TEST(HostNameToIP, EmptyNameIsEmptyText) {
    EXPECT_EQ(TInternetManager().HostNameToIP(""), "");
}

TEST(HostNameToIP, LocalhostResolvesToLoopback) {
    EXPECT_EQ(TInternetManager().HostNameToIP("localhost").rfind("127.", 0), 0u);
}

// Knows this computer as "vexlo-box" and another host that is really called "self", one host
// of each family and one of both.
struct TScriptedResolver {
    static inline std::vector<std::string> Asked;
    static inline int Open = 0;
    static bool Startup() {
        ++Open;
        return true;
    }
    static void Cleanup() { --Open; }
    static std::string HostName() { return "vexlo-box"; }
    static TNameAddresses Lookup(const std::string& AName) {
        Asked.push_back(AName);
        const std::string Name = AName;
        return Name == "vexlo-box"    ? TNameAddresses{"192.0.2.10", "2001:db8::10"}
               : Name == "self"       ? TNameAddresses{"198.51.100.20", ""}
               : Name == "v6-only"    ? TNameAddresses{"", "2001:db8::6"}
               : Name == "link-local" ? TNameAddresses{"", "fe80::1%3"}
                                      : TNameAddresses{};
    }
};

TEST(HostNameToIP, SelfStandsForThisComputerOnlyWhenWrittenSoAndIPv4WinsOverIPv6) {
    const TInternetManager M({&TScriptedResolver::Startup, &TScriptedResolver::Cleanup,
                              &TScriptedResolver::HostName, &TScriptedResolver::Lookup});
    const struct {
        const char* Typed;
        const char* Asked;
        const char* Address;
    } Cases[] = {{"Self", "vexlo-box", "192.0.2.10"},
                 {"self", "self", "198.51.100.20"},
                 {"SELF", "SELF", ""},
                 {"v6-only", "v6-only", "2001:db8::6"},
                 {"link-local", "link-local", "fe80::1%3"},
                 {"no-such-host", "no-such-host", ""}};
    for (const auto& C : Cases) {
        TScriptedResolver::Asked.clear();
        EXPECT_EQ(M.HostNameToIP(C.Typed), C.Address) << C.Typed;
        EXPECT_EQ(TScriptedResolver::Asked, std::vector<std::string>{C.Asked}) << C.Typed;
        EXPECT_EQ(TScriptedResolver::Open, 0) << "start-up without clean-up for " << C.Typed;
    }
}

TEST(HostNameToIP, UnknownNameIsEmptyText) {
    EXPECT_EQ(TInternetManager().HostNameToIP("no-such-host.invalid"), "");
}

TEST(ResolverLookup, KeepsTheFirstAddressOfEachFamilyWritingTheScopeAsZone) {
    const uint8_t Quad[2][4] = {{192, 0, 2, 1}, {192, 0, 2, 2}};
    const uint8_t LinkLocal[16] = {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    const uint8_t Global[16] = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    TNameAddresses Found;
    Resolver::NoteIPv6(Found, LinkLocal, 4);
    Resolver::NoteIPv4(Found, Quad[0]);
    Resolver::NoteIPv6(Found, Global, 0);
    Resolver::NoteIPv4(Found, Quad[1]);
    EXPECT_EQ(Found, (TNameAddresses{"192.0.2.1", "fe80::1%4"}));
    TNameAddresses Unscoped;
    Resolver::NoteIPv6(Unscoped, Global, 0);
    EXPECT_EQ(Unscoped.IPv6, "2001:db8::1");
}

// The real resolver, asked for both families at once: a numeric text is its own address.
TEST(ResolverLookup, ANumericTextIsItsOwnAddressOnly) {
    EXPECT_EQ(Resolver::Lookup("127.0.0.1"), (TNameAddresses{"127.0.0.1", ""}));
}
} // namespace
