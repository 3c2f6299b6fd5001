#include "app/PingTarget.h"

#include "hosts/HostList.h"
#include "net/SysInet.h"

#include <gtest/gtest.h>

TEST(PingTarget, TakesQuadsThenDisplayNamesThenTheResolver) {
    THostList List;
    List.Assign("127.0.0.1=Localhost\r\nfileserver=Files\r\n10.0.0.1=Router=main\r\nServer\r\n"
                "127.0.0.2=Localhost\r\n");
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
    };
    for (const auto& Case : Cases) {
        EXPECT_EQ(PingTarget(Case.Typed, Manager, List), Case.Target) << Case.Typed;
    }
    // Not in the list: the resolver names the address, and the status names the address.
    EXPECT_EQ(PingTarget("localhost", Manager, THostList()), "127.0.0.1");
}
