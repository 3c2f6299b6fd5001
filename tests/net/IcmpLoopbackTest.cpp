// Real echo exchanges with this machine's loopback address.
#include "net/IdException.h"
#include "net/IdIcmpClient.h"
#include "tests/support/PingAccess.h"

#include <gtest/gtest.h>

namespace {
TEST(IcmpLoopback, PingOnceAnswersFromLoopback) {
    if (PingAccess() == TPingAccess::None) {
        GTEST_SKIP() << PingAccessMismatch(TPingAccess::Raw);
    }
    TIdIcmpClient Client;
    Client.SetReceiveTimeout(1000);
    int Fired = 0;
    Client.OnReply = [&](TIdBaseComponent&, const TReplyStatus&) { ++Fired; };
    for (const char* Host : {"127.0.0.1", "localhost", "LOCALHOST"}) {
        const uint16_t Seq = Client.SequenceNumber();
        Client.SetHost(Host);
        Client.PingOnce("  ");
        const auto& S = Client.LastStatus();
        EXPECT_EQ(S.Kind, rkEchoReply) << Host;
        // Loopback hands the raw socket our own request before the kernel's reply.
        EXPECT_TRUE(S.IcmpType == 8 || S.IcmpType == 0);
        EXPECT_EQ(S.SourceAddress, "127.0.0.1");
        EXPECT_EQ(S.Sequence, Seq);
        EXPECT_EQ(S.ByteCount, 72);
        EXPECT_GT(S.Ttl, 0);
        EXPECT_LT(S.RoundTripMs, 1000u);
        EXPECT_FALSE(Client.SocketBinding().IsOpen());
    }
    EXPECT_EQ(Fired, 3);
}

TEST(IcmpLoopback, WithoutRawSocketPrivilegeCannotAllocate) {
    if (const std::string Why = PingAccessMismatch(TPingAccess::None); !Why.empty()) {
        GTEST_SKIP() << Why;
    }
    TIdIcmpClient Client;
    Client.SetHost("127.0.0.1");
    try {
        Client.PingOnce("  ");
        FAIL() << "pinged without privilege";
    } catch (const EIdInvalidSocket& E) {
        EXPECT_EQ(E.Message(), "Cannot allocate socket.");
    }
    EXPECT_EQ(Client.SequenceNumber(), 3489);
}
} // namespace
