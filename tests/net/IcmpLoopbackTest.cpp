// Real echo exchanges with this machine's loopback address.
#include "net/IdException.h"
#include "net/IdIcmpClient.h"
#include "net/IdPlatform.h"
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
    struct TRow {
        const char* Host;
        const char* Source;
        int32_t Bytes; // IPv4: the datagram with its header; IPv6: the message
    };
    const TRow Rows[] = {{"127.0.0.1", "127.0.0.1", 72},
                         {"localhost", "127.0.0.1", 72},
                         {"LOCALHOST", "127.0.0.1", 72},
                         {"::1", "::1", 52},
                         {"[0:0::1]", "::1", 52}};
    const bool NoIp6 = Ping6Access() == TPingAccess::None;
    int Replies = 0;
    for (const TRow& Row : Rows) {
        const uint16_t Seq = Client.SequenceNumber();
        Client.SetHost(Row.Host);
        const bool Ip6 = Row.Bytes == 52;
        if (Ip6 && NoIp6) {
            // Nothing to ping IPv6 with (Wine): an error at once, never a wait for nothing.
            const uint32_t Start = IdPlatform::TickCount();
            EXPECT_THROW(Client.PingOnce("  "), EIdException) << Row.Host;
            EXPECT_LT(IdPlatform::TickCount() - Start, 1000u) << Row.Host;
            continue;
        }
        Client.PingOnce("  ");
        ++Replies;
        const auto& S = Client.LastStatus();
        EXPECT_EQ(S.Kind, rkEchoReply) << Row.Host;
        // Loopback hands the raw IPv4 socket our own request before the kernel's reply; the
        // ICMPv6 socket's filter keeps requests out.
        EXPECT_TRUE(Ip6 ? S.IcmpType == 129 : (S.IcmpType == 8 || S.IcmpType == 0)) << Row.Host;
        EXPECT_EQ(S.SourceAddress, Row.Source);
        EXPECT_EQ(S.Sequence, Seq);
        EXPECT_EQ(S.ByteCount, Row.Bytes) << Row.Host;
        EXPECT_GT(S.Ttl, 0) << Row.Host;
        EXPECT_LT(S.RoundTripMs, 1000u);
        EXPECT_FALSE(Client.SocketBinding().IsOpen());
    }
    EXPECT_EQ(Fired, Replies);
}

// A link-local address needs its link: a zone that names none is refused by the send, as the
// system refuses a scope it does not have, and no time-out is waited for.
TEST(IcmpLoopback, ZoneThatNamesNoLinkIsAnInvalidArgument) {
    if (Ping6Access() == TPingAccess::None) {
        GTEST_SKIP() << "this process cannot ping IPv6";
    }
    TIdIcmpClient Client;
    Client.SetHost("fe80::1%no-such-link");
    try {
        Client.PingOnce();
        FAIL() << "sent without a link";
    } catch (const EIdSocketError& E) {
        EXPECT_EQ(E.Message().rfind("Socket Error # 10022", 0), 0u) << E.Message();
    }
    EXPECT_FALSE(Client.SocketBinding().IsOpen());
}

TEST(IcmpLoopback, WithoutRawSocketPrivilegeCannotAllocate) {
    if (const std::string Why = PingAccessMismatch(TPingAccess::None); !Why.empty()) {
        GTEST_SKIP() << Why;
    }
    // IPv6 after IPv4: the refusal noted for one family must not answer for the other.
    TIdIcmpClient Client;
    for (const char* Host : {"127.0.0.1", "::1", "127.0.0.1"}) {
        Client.SetHost(Host);
        try {
            Client.PingOnce("  ");
            ADD_FAILURE() << "pinged " << Host << " without privilege";
        } catch (const EIdInvalidSocket& E) {
            EXPECT_EQ(E.Message(), "Cannot allocate socket.") << Host;
        }
        EXPECT_EQ(Client.SequenceNumber(), 3489);
    }
}
} // namespace
