// Real echo exchanges with this machine's loopback address.
#include "net/IdException.h"
#include "net/IdIcmpClient.h"

#include <gtest/gtest.h>

namespace {
bool RawSocketsAllowed(TIdIcmpClient& AClient) {
    try {
        AClient.OpenBinding();
        AClient.SocketBinding().ReleaseSocket();
        return true;
    } catch (const EIdInvalidSocket&) {
        return false;
    }
}

TEST(IcmpLoopback, PingOnceAnswersFromLoopback) {
    TIdIcmpClient Client;
    if (!RawSocketsAllowed(Client)) {
        GTEST_SKIP() << "raw ICMP sockets need root or CAP_NET_RAW";
    }
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
    TIdIcmpClient Client;
    if (RawSocketsAllowed(Client)) {
        GTEST_SKIP() << "raw sockets are allowed here; the unprivileged run covers this";
    }
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
