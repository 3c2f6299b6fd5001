#include "app/PingTarget.h"

#include "hosts/HostList.h"
#include "net/Resolver.h"
#include "net/SysInet.h"

#include <gtest/gtest.h>

#include <vector>

TEST(PingTarget, TakesQuadsThenDisplayNamesThenIPv6LiteralsThenTheResolver) {
    THostList List;
    List.Assign("127.0.0.1=Localhost\r\nfileserver=Files\r\n10.0.0.1=Router=main\r\nServer\r\n"
                "127.0.0.2=Localhost\r\n2001:DB8:0:0:0:0:0:1=v6host\r\n[fe80::1%eth0]=Link\r\n"
                "::=Nowhere\r\n::1=10.9.8.6\r\n");
    const TInternetManager Manager;
    const struct {
        const char* Typed;
        std::optional<std::string> Target;
    } Cases[] = {
        {"10.9.8.7", "10.9.8.7"},
        {"10.9.8.7 ", "10.9.8.7 "}, // the echo client's own resolution decides about the blank
        {"LOCALHOST", "127.0.0.1"}, // the first of two equal names
        {"router=MAIN", "10.0.0.1"},
        {"Files", std::nullopt}, // list addresses are never resolved
        {"erver", std::nullopt}, // a line without "=" has an empty address
        {"0.0.0.0", std::nullopt},
        {"", std::nullopt},
        // IPv6 goes on as RFC 5952 text, its zone kept.
        {"v6host", "2001:db8::1"},
        {"link", "fe80::1%eth0"},
        {"::1", "::1"},
        {"[::1]", "::1"},
        {"2001:0DB8:0000:0000:0000:0000:0000:0001", "2001:db8::1"},
        {"[FE80::0:1%7]", "fe80::1%7"},
        {"fe80::1%eth0", "fe80::1%eth0"},
        {"::ffff:192.0.2.1", "::ffff:192.0.2.1"}, // a dotted quad by its pieces: as typed
        {"10.9.8.6", "10.9.8.6"},                 // a quad before a display name
        {"::", std::nullopt},
        {"[0:0:0:0:0:0:0:0]", std::nullopt},
        {"nowhere", std::nullopt},
        {"1::2::3", std::nullopt},
        {"[::1", std::nullopt},
    };
    for (const auto& Case : Cases) {
        EXPECT_EQ(PingTarget(Case.Typed, Manager, List), Case.Target) << Case.Typed;
    }
    // Not in the list: the resolver names the address, and the status names the address.
    EXPECT_EQ(PingTarget("localhost", Manager, THostList()), "127.0.0.1");
}

namespace {
// A resolver that knows a host of each family and one of both, and counts its lookups.
struct TTwoFamilies {
    static inline std::vector<std::string> Asked;
    static bool Startup() { return true; }
    static void Cleanup() {}
    static std::string HostName() { return "box"; }
    static TNameAddresses Lookup(const std::string& AName) {
        Asked.push_back(AName);
        return AName == "dual"      ? TNameAddresses{"192.0.2.7", "2001:db8::7"}
               : AName == "v6-only" ? TNameAddresses{"", "2001:db8::6"}
                                    : TNameAddresses{};
    }
};
} // namespace

TEST(PingTarget, PingsANamesIPv4AddressAndItsIPv6OneOnlyWhenItHasNoOtherLookingItUpOnce) {
    const TInternetManager Manager({&TTwoFamilies::Startup, &TTwoFamilies::Cleanup,
                                    &TTwoFamilies::HostName, &TTwoFamilies::Lookup});
    const struct {
        const char* Typed;
        std::optional<std::string> Target;
        std::vector<std::string> Asked;
    } Cases[] = {
        {"dual", "192.0.2.7", {"dual"}},
        {"v6-only", "2001:db8::6", {"v6-only"}},
        {"unknown", std::nullopt, {"unknown"}},
        {"[2001:db8::7]", "2001:db8::7", {}},
        {"::", std::nullopt, {}},
    };
    for (const auto& Case : Cases) {
        TTwoFamilies::Asked.clear();
        EXPECT_EQ(PingTarget(Case.Typed, Manager, THostList()), Case.Target) << Case.Typed;
        EXPECT_EQ(TTwoFamilies::Asked, Case.Asked) << Case.Typed;
    }
}
