// The echo request, the reply decoder and the exchange, on crafted datagrams.
#include "net/IdException.h"
#include "net/IdIcmpClient.h"
#include "tests/net/FakeStack.h"

#include <gtest/gtest.h>

#include <cstring>

#include <type_traits>
#include <vector>

namespace {
constexpr uint16_t Pid16 = 0xABCD; // low 16 bits of TFakeStackScope's process id

std::vector<uint8_t> IpHeader(int AIhl, uint8_t ATtl, std::array<uint8_t, 4> ASource) {
    std::vector<uint8_t> H(static_cast<size_t>(AIhl) * 4, 0);
    H[0] = static_cast<uint8_t>(0x40 | AIhl);
    H[8] = ATtl;
    H[9] = 1;
    std::copy(ASource.begin(), ASource.end(), H.begin() + 12);
    std::fill(H.begin() + 20, H.end(), 0x01); // options: no-ops
    return H;
}

std::vector<uint8_t> Echo(uint8_t AType, uint16_t AId, uint16_t ASeq, int AIhl = 5,
                          uint8_t ATtl = 64, std::array<uint8_t, 4> ASource = {127, 0, 0, 1}) {
    auto P = IpHeader(AIhl, ATtl, ASource);
    const uint8_t Icmp[8] = {AType,
                             0,
                             0,
                             0,
                             static_cast<uint8_t>(AId),
                             static_cast<uint8_t>(AId >> 8),
                             static_cast<uint8_t>(ASeq),
                             static_cast<uint8_t>(ASeq >> 8)};
    P.insert(P.end(), Icmp, Icmp + 8);
    P.insert(P.end(), 44, 0x45);
    return P;
}

// A router's error message quoting a request: its IPv4 header, then AQuotedIcmp bytes of
// the request's ICMP part.
std::vector<uint8_t> ErrorQuoting(uint8_t AType, const std::vector<uint8_t>& ARequest,
                                  int AOuterIhl = 5, int AQuotedIhl = 5, size_t AQuotedIcmp = 52,
                                  std::array<uint8_t, 4> ASource = {198, 51, 100, 1}) {
    auto P = IpHeader(AOuterIhl, 63, ASource);
    const uint8_t Icmp[8] = {AType, 1, 0, 0, 0, 0, 0, 0};
    P.insert(P.end(), Icmp, Icmp + 8);
    const auto Quoted = IpHeader(AQuotedIhl, 1, {198, 51, 100, 2});
    P.insert(P.end(), Quoted.begin(), Quoted.end());
    P.insert(P.end(), ARequest.begin(),
             ARequest.begin() + static_cast<long>(std::min(AQuotedIcmp, ARequest.size())));
    return P;
}

std::vector<uint8_t> Request(uint16_t AId, uint16_t ASeq) {
    auto P = Echo(8, AId, ASeq);
    return {P.begin() + 20, P.end()};
}

class EchoClient : public ::testing::Test {
  protected:
    EchoClient() {
        Client.SetHost("192.0.2.1");
        Client.SetReceiveTimeout(1000);
        Client.OnReply = [this](TIdBaseComponent& ASender, const TReplyStatus& AStatus) {
            EXPECT_EQ(&ASender, &Client);
            // Fired before the sequence advances.
            SequenceAtReply = Client.SequenceNumber();
            Replies.push_back(AStatus);
        };
    }
    TFakeStack& Stack() { return *TFakeStack::Current; }
    void Queue(std::vector<uint8_t> ABytes, uint32_t AAfter = 5) {
        Stack().Queue.push_back({std::move(ABytes), AAfter, 0});
    }
    std::string Raised(const std::function<void()>& ACall) {
        try {
            ACall();
        } catch (const Exception& E) {
            return E.Message();
        }
        return "(nothing raised)";
    }

    TFakeStackScope Scope;
    TIdIcmpClient Client;
    std::vector<TReplyStatus> Replies;
    uint16_t SequenceAtReply = 0;
};

TEST_F(EchoClient, DefaultsOfTheClientAndItsBase) {
    EXPECT_EQ(Client.SequenceNumber(), 3489);
    EXPECT_EQ(Client.Protocol(), 1);
    EXPECT_EQ(Client.Port(), 0);
    EXPECT_EQ(Client.BufferSize(), 8192);
    EXPECT_EQ(Client.PacketTtl(), 128);
    EXPECT_EQ(TIdIcmpClient().ReceiveTimeout(), 5000);
    TIdRawClient Raw;
    EXPECT_EQ(Raw.ReceiveTimeout(), 0);
    EXPECT_EQ(Raw.Protocol(), 255);
    Raw.SetBufferSize(100);
    EXPECT_EQ(Raw.BufferSize(), 100);
}

TEST_F(EchoClient, RequestIsFiftyTwoBytesLeastSignificantByteFirst) {
    TFakeStack::Now = 0x0A0B0C0D;
    Queue(Echo(0, Pid16, 3489));
    Client.PingOnce("  ");
    const auto& R = Stack().LastSent;
    ASSERT_EQ(R.size(), 52u);
    const std::vector<uint8_t> Head = {8,    0,    R[2], R[3], 0xCD, 0xAB, 0xA1, 0x0D,
                                       0x0D, 0x0C, 0x0B, 0x0A, 0,    0,    0,    0,
                                       0,    0,    0,    0,    0x20, 0x20};
    EXPECT_EQ(std::vector<uint8_t>(R.begin(), R.begin() + 22), Head);
    EXPECT_EQ(std::vector<uint8_t>(R.begin() + 22, R.end()), std::vector<uint8_t>(30, 0x45));
}

TEST_F(EchoClient, PayloadFillsThirtyTwoBytesAtMost) {
    struct TCase {
        std::string Payload;
        std::vector<uint8_t> Data;
    } Cases[] = {{"", std::vector<uint8_t>(32, 0x45)},
                 {std::string(40, 'z'), std::vector<uint8_t>(32, 'z')},
                 {"ab", [] {
                      std::vector<uint8_t> D(32, 0x45);
                      D[0] = 'a';
                      D[1] = 'b';
                      return D;
                  }()}};
    for (const auto& C : Cases) {
        Queue(Echo(0, Pid16, Client.SequenceNumber()));
        Client.PingOnce(C.Payload);
        const auto& R = Stack().LastSent;
        ASSERT_EQ(R.size(), 52u);
        EXPECT_EQ(std::vector<uint8_t>(R.begin() + 20, R.end()), C.Data) << C.Payload;
    }
}

TEST_F(EchoClient, ChecksumVerifiesAsTheStandardInternetChecksum) {
    Queue(Echo(0, Pid16, 3489));
    Client.PingOnce("  ");
    const auto& R = Stack().LastSent;
    uint32_t Le = 0, Be = 0;
    for (size_t I = 0; I < R.size(); I += 2) {
        Le += static_cast<uint32_t>(R[I] | (R[I + 1] << 8));
        Be += static_cast<uint32_t>((R[I] << 8) | R[I + 1]);
    }
    for (uint32_t* S : {&Le, &Be}) {
        while (*S >> 16) {
            *S = (*S & 0xFFFF) + (*S >> 16);
        }
    }
    EXPECT_EQ(Le, 0xFFFFu);
    EXPECT_EQ(Be, 0xFFFFu); // the wire checksum holds in network order too
}

// Any count a caller can pass stays inside the bytes given: the sum takes a span, and an
// exactly sized heap buffer lets the sanitizer build see a read past its end.
TEST(EchoChecksum, OddCountPadsTheLastByteAndReadsNothingBeyond) {
    EXPECT_FALSE(
        (std::is_invocable_v<decltype(&TIdIcmpClient::EchoChecksum), const uint8_t*, int>));
    const std::vector<uint8_t> Rfc1071 = {0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7};
    EXPECT_EQ(TIdIcmpClient::EchoChecksum(Rfc1071), 0x0D22); // 22 0D on the wire
    const std::vector<uint8_t> Odd(Rfc1071.begin(), Rfc1071.end() - 1);
    EXPECT_EQ(TIdIcmpClient::EchoChecksum(Odd), 0x0423);
    EXPECT_EQ(TIdIcmpClient::EchoChecksum({}), 0xFFFF);
}

TEST_F(EchoClient, EchoReplyIsDecodedAndReportedBeforeTheSequenceAdvances) {
    Queue(Echo(0, Pid16, 3489, 5, 61, {10, 1, 2, 3}), 25);
    Client.PingOnce("  ");
    ASSERT_EQ(Replies.size(), 1u);
    const auto& S = Replies[0];
    EXPECT_EQ(S.Kind, rkEchoReply);
    EXPECT_EQ(S.IcmpType, 0);
    EXPECT_EQ(S.SourceAddress, "10.1.2.3");
    EXPECT_EQ(S.Ttl, 61);
    EXPECT_EQ(S.ByteCount, 72);
    EXPECT_EQ(S.Sequence, 3489);
    EXPECT_EQ(S.RoundTripMs, 25u);
    EXPECT_EQ(SequenceAtReply, 3489);
    EXPECT_EQ(Client.SequenceNumber(), 3490);
    EXPECT_EQ(Client.LastStatus().SourceAddress, "10.1.2.3");
}

TEST_F(EchoClient, OwnEchoRequestCountsAsTheReply) {
    Queue(Echo(8, Pid16, 3489));
    Client.PingOnce("  ");
    EXPECT_EQ(Client.LastStatus().Kind, rkEchoReply);
    EXPECT_EQ(Client.LastStatus().IcmpType, 8);
}

TEST_F(EchoClient, HeaderOptionsShiftEveryOffset) {
    for (int Ihl = 5; Ihl <= 15; ++Ihl) {
        const uint16_t Seq = Client.SequenceNumber();
        Queue(Echo(0, Pid16, Seq, Ihl, static_cast<uint8_t>(Ihl),
                   {10, 0, 0, static_cast<uint8_t>(Ihl)}));
        Client.PingOnce();
        EXPECT_EQ(Client.LastStatus().Kind, rkEchoReply) << Ihl;
        EXPECT_EQ(Client.LastStatus().Sequence, Seq) << Ihl;
        EXPECT_EQ(Client.LastStatus().Ttl, Ihl);
        EXPECT_EQ(Client.LastStatus().ByteCount, Ihl * 4 + 52);
    }
}

TEST_F(EchoClient, ErrorMessagesQuotingOurRequestEndTheExchange) {
    struct TCase {
        uint8_t Type;
        TReplyKind Kind;
        int OuterIhl, QuotedIhl;
        size_t QuotedIcmp;
    } Cases[] = {{3, rkUnreachable, 5, 5, 52}, {11, rkTtlExpired, 5, 5, 52},
                 {3, rkUnreachable, 5, 5, 8},  {11, rkTtlExpired, 8, 8, 8},
                 {3, rkUnreachable, 7, 5, 8},  {11, rkTtlExpired, 5, 15, 8}};
    for (const auto& C : Cases) {
        const uint16_t Seq = Client.SequenceNumber();
        Queue(ErrorQuoting(C.Type, Request(Pid16, Seq), C.OuterIhl, C.QuotedIhl, C.QuotedIcmp));
        Client.PingOnce();
        const auto& S = Client.LastStatus();
        EXPECT_EQ(S.Kind, C.Kind) << int(C.Type) << " outer " << C.OuterIhl;
        EXPECT_EQ(S.IcmpType, C.Type);
        EXPECT_EQ(S.SourceAddress, "198.51.100.1");
        EXPECT_EQ(S.Ttl, 63);
        EXPECT_EQ(S.Sequence, Seq);
    }
}

TEST_F(EchoClient, ShortDatagramRaisesNotEnoughBytes) {
    auto P = Echo(0, Pid16, 3489);
    P.resize(27);
    Queue(P);
    EXPECT_EQ(Raised([&] { Client.PingOnce(); }), "Not enough bytes received");
    auto Wide = Echo(0, Pid16, 3489, 15);
    Wide.resize(60 + 7);
    Queue(Wide);
    EXPECT_EQ(Raised([&] { Client.PingOnce(); }), "Not enough bytes received");
}

TEST_F(EchoClient, NonEchoTypeRaises) {
    for (uint8_t Type : {5, 4, 12, 13, 255}) {
        Queue(Echo(Type, Pid16, Client.SequenceNumber()));
        EXPECT_EQ(Raised([&] { Client.PingOnce(); }), "Non-echo type response received")
            << int(Type);
    }
}

TEST_F(EchoClient, ForeignTrafficIsRejectedAndTheWaitGoesOn) {
    const uint16_t Seq = 3489;
    Queue(Echo(0, Pid16, Seq + 1));                   // our id, other sequence
    Queue(Echo(0, Pid16 ^ 0x0101, Seq));              // another program's reply
    Queue(Echo(8, 0x1111, Seq));                      // another program's request
    Queue(ErrorQuoting(3, Request(0x2222, Seq)));     // quoting another's request
    Queue(ErrorQuoting(11, Request(Pid16, Seq + 7))); // quoting our older request
    auto Udp = Request(Pid16, Seq);
    Udp[0] = 17; // quoted datagram is no echo
    Queue(ErrorQuoting(3, Udp));
    auto Clipped = ErrorQuoting(3, Request(Pid16, Seq), 5, 5, 8);
    Clipped.resize(Clipped.size() - 1); // quote cut short
    Queue(Clipped);
    Queue(Echo(0, Pid16, Seq, 5, 50, {10, 9, 9, 9}));
    Client.PingOnce();
    ASSERT_EQ(Replies.size(), 1u);
    EXPECT_EQ(Replies[0].Kind, rkEchoReply);
    EXPECT_EQ(Replies[0].SourceAddress, "10.9.9.9");
    EXPECT_EQ(Stack().Recvs, 8);
}

TEST_F(EchoClient, TimeOutAfterRejectedPacketsIsTheFullTimeOutStatus) {
    Queue(Echo(0, Pid16 ^ 1, 3489), 400);
    Queue(ErrorQuoting(3, Request(0x2222, 3489)), 400);
    Queue(Echo(0, Pid16, 3489), 400); // too late: 1200 ms after the wait began
    Client.PingOnce();
    const auto& S = Client.LastStatus();
    EXPECT_EQ(S.Kind, rkTimedOut);
    EXPECT_EQ(S.SourceAddress, "0.0.0.0");
    EXPECT_EQ(S.Sequence, 3489);
    EXPECT_EQ(S.ByteCount, 0);
    EXPECT_EQ(S.IcmpType, 0);
    EXPECT_EQ(S.Ttl, 0);
    EXPECT_EQ(S.RoundTripMs, 1000u);
}

TEST_F(EchoClient, DeadlineIsFixedWhenTheWaitBegins) {
    // Rejected packets at 100, 300, 600 and 800 ms; ours at 950 ms is still in time.
    for (uint32_t After : {100u, 200u, 300u, 200u}) {
        Queue(Echo(0, Pid16 ^ 1, 3489), After);
    }
    Queue(Echo(0, Pid16, 3489), 150);
    Client.PingOnce();
    EXPECT_EQ(Client.LastStatus().Kind, rkEchoReply);
    EXPECT_EQ(Client.LastStatus().RoundTripMs, 950u);
    EXPECT_EQ(Stack().SelectTimeouts, (std::vector<int>{1000, 900, 700, 400, 200}));
}

TEST_F(EchoClient, SilenceTimesOutAfterReceiveTimeout) {
    Client.PingOnce("  ");
    EXPECT_EQ(Client.LastStatus().Kind, rkTimedOut);
    EXPECT_EQ(Client.LastStatus().RoundTripMs, 1000u);
    EXPECT_EQ(Stack().SelectTimeouts, std::vector<int>{1000});
    ASSERT_EQ(Replies.size(), 1u);
}

TEST_F(EchoClient, ZeroTimeoutIsASinglePoll) {
    Client.SetReceiveTimeout(0);
    Queue(Echo(0, Pid16 ^ 1, 3489), 0);
    Client.PingOnce();
    EXPECT_EQ(Client.LastStatus().Kind, rkTimedOut);
    EXPECT_EQ(Stack().SelectTimeouts, std::vector<int>{0});
}

TEST_F(EchoClient, SequenceWrapsAfter65535AndSequenceArgumentReplacesIt) {
    Client.SetSequenceNumber(65535);
    Queue(Echo(0, Pid16, 65535));
    Client.PingOnce();
    EXPECT_EQ(Client.LastStatus().Sequence, 65535);
    EXPECT_EQ(Client.SequenceNumber(), 0);
    Queue(Echo(0, Pid16, 0));
    Client.PingOnce("", 0);
    EXPECT_EQ(Client.LastStatus().Kind, rkEchoReply);
    EXPECT_EQ(Client.LastStatus().Sequence, 0);
    Queue(Echo(0, Pid16, 500));
    Client.PingOnce("", 500);
    EXPECT_EQ(Client.LastStatus().Sequence, 500);
    EXPECT_EQ(Client.SequenceNumber(), 501);
}

TEST_F(EchoClient, RoundTripAcrossTheTickWrapIsTheModularDifference) {
    TFakeStack::Now = 0xFFFFFF00u;
    Queue(Echo(0, Pid16, 3489), 0x200);
    Client.PingOnce();
    EXPECT_EQ(Client.LastStatus().RoundTripMs, 0x200u);
}

TEST_F(EchoClient, TtlIsSetOnEveryUseAndTheSocketClosedAfterEachExchange) {
    Queue(Echo(0, Pid16 ^ 1, 3489));
    Queue(Echo(0, Pid16, 3489));
    Client.PingOnce();
    // send, then wait and receive twice, then once more before closing
    EXPECT_EQ(Stack().TtlSets, 1 + 2 * 2 + 1);
    EXPECT_EQ(Stack().Sockets, 1);
    EXPECT_EQ(Stack().Closes, 1);
    EXPECT_EQ(Stack().Shutdowns, 1);
    EXPECT_FALSE(Client.SocketBinding().IsOpen());
    Client.SocketBinding().ReleaseSocket();
    EXPECT_EQ(Stack().Closes, 1);
    Queue(Echo(0, Pid16, 3490));
    Client.PingOnce();
    EXPECT_EQ(Stack().Sockets, 2);
}

// The request goes to the bytes the host resolves to; only a name that is neither
// "localhost" nor a dotted quad is looked up.
TEST_F(EchoClient, RequestGoesToTheResolvedAddressBytes) {
    struct TCase {
        const char* Host;
        TIdInAddr Address;
        int Lookups;
    };
    const TCase Cases[] = {
        {"LocalHost", {{127, 0, 0, 1}}, 0},
        {"010.0.0.255", {{10, 0, 0, 255}}, 0},
        {"known.test", {{192, 0, 2, 77}}, 1},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Host);
        Client.SetHost(Case.Host);
        const int LookupsBefore = Stack().Lookups;
        Client.PingOnce();
        EXPECT_EQ(Stack().Lookups - LookupsBefore, Case.Lookups);
        EXPECT_EQ(std::memcmp(Stack().LastAddress.Bytes, Case.Address.Bytes, 4), 0);
    }
}

// Only IPv6 text goes the IPv6 way; an IPv4-mapped address reads as a dotted quad to the
// window and goes to the name lookup as it always did.
TEST_F(EchoClient, Ip6HostsGoOverIcmpv6AndEveryOtherTextAsBefore) {
    struct TCase {
        const char* Host;
        int Family;
        const char* Sent6; // the IPv6 target; null: an IPv4 send or none
        const char* Raised;
    } const Cases[] = {
        {"::1", Id_PF_INET6, "::1", "(nothing raised)"},
        {"[FE80::0:1%7]", Id_PF_INET6, "fe80::1%7", "(nothing raised)"},
        {"192.0.2.1", Id_PF_INET, nullptr, "(nothing raised)"},
        {"::ffff:192.0.2.9", 0, nullptr, "Socket Error # 11001\r\nHost not found."},
    };
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.Host);
        Stack().LastFamily = 0;
        Stack().LastAddress6.clear();
        Stack().LastSent.clear();
        Client.SetHost(Case.Host);
        EXPECT_EQ(Raised([&] { Client.PingOnce(); }), Case.Raised);
        EXPECT_EQ(Stack().LastFamily, Case.Family);
        EXPECT_EQ(Stack().LastAddress6, Case.Sent6 ? Case.Sent6 : "");
        if (Case.Family == Id_PF_INET6) {
            EXPECT_EQ(Stack().LastProtocol, Id_IPPROTO_ICMPV6);
            ASSERT_EQ(Stack().LastSent.size(), 52u);
            EXPECT_EQ(Stack().LastSent[0], 128);
            // The system writes the ICMPv6 checksum.
            EXPECT_EQ(Stack().LastSent[2] | Stack().LastSent[3], 0);
        } else if (Case.Family == Id_PF_INET) {
            EXPECT_EQ(Stack().LastSent[0], 8);
        }
    }
}

// A send to another host than the client's own reads that host's text, not the client's:
// only the client's own host is read once, when it is set.
TEST_F(EchoClient, ASendToAnotherHostGoesWhereThatHostSays) {
    const struct {
        const char* Own;
        const char* To;
        int Family;
        const char* Sent6;
    } Cases[] = {
        {"192.0.2.1", "2001:db8::7", Id_PF_INET6, "2001:db8::7"},
        {"2001:db8::1", "192.0.2.7", Id_PF_INET, ""},
        {"2001:db8::1", "2001:db8::1", Id_PF_INET6, "2001:db8::1"},
        {"2001:db8::1", "[2001:db8::2]", Id_PF_INET6, "2001:db8::2"},
    };
    const uint8_t Bytes[8] = {8};
    for (const auto& Case : Cases) {
        SCOPED_TRACE(std::string(Case.Own) + " -> " + Case.To);
        Client.SetHost(Case.Own);
        Stack().LastAddress6.clear();
        Client.SendPacket(Case.To, 0, Bytes, sizeof Bytes);
        EXPECT_EQ(Stack().LastFamily, Case.Family);
        EXPECT_EQ(Stack().LastAddress6, Case.Sent6);
        if (Case.Family == Id_PF_INET) {
            EXPECT_EQ(std::memcmp(Stack().LastAddress.Bytes, "\xC0\x00\x02\x07", 4), 0);
        }
    }
}

// A reply to an IPv6 request is read with the header the sockets put in front of it.
TEST_F(EchoClient, Ip6ReplyIsDecodedFromItsHeader) {
    Client.SetHost("fd00::2");
    std::vector<uint8_t> Reply(40, 0);
    Reply[0] = 0x60;
    Reply[6] = 58;
    Reply[7] = 61;
    Reply[8] = 0xFD;
    Reply[23] = 2;
    const uint8_t Icmp[8] = {129, 0, 0, 0, 0xCD, 0xAB, 0xA1, 0x0D}; // 3489 = 0x0DA1
    Reply.insert(Reply.end(), Icmp, Icmp + 8);
    Queue(Reply);
    Client.PingOnce();
    ASSERT_EQ(Replies.size(), 1u);
    EXPECT_EQ(Replies[0].Kind, rkEchoReply);
    EXPECT_EQ(Replies[0].SourceAddress, "fd00::2");
    EXPECT_EQ(Replies[0].Ttl, 61);
}

TEST_F(EchoClient, UnresolvedHostChangesNothing) {
    Client.SetHost("no-such-host.invalid");
    EXPECT_EQ(Raised([&] { Client.PingOnce(); }), "Socket Error # 11001\r\nHost not found.");
    EXPECT_EQ(Stack().Sockets, 0);
    EXPECT_EQ(Client.SequenceNumber(), 3489);
    EXPECT_TRUE(Replies.empty());
}

TEST_F(EchoClient, FailureAfterSendingRetiresTheSequenceAndClosesTheSocket) {
    Stack().Queue.push_back({{}, 5, -1});
    EXPECT_EQ(Raised([&] { Client.PingOnce(); }),
              "Socket Error # 10054\r\nConnection reset by peer.");
    EXPECT_EQ(Client.SequenceNumber(), 3490);
    EXPECT_EQ(Stack().Closes, 1);
    EXPECT_TRUE(Replies.empty());
    // A late reply to the failed request is not taken for the next one's.
    Queue(Echo(0, Pid16, 3489), 5);
    Client.PingOnce();
    EXPECT_EQ(Client.LastStatus().Kind, rkTimedOut);
    EXPECT_EQ(Client.LastStatus().Sequence, 3490);
}

TEST_F(EchoClient, SendFailures) {
    Stack().SendResult = 30;
    EXPECT_EQ(Raised([&] { Client.PingOnce(); }), "Not all bytes sent.");
    EXPECT_EQ(Client.SequenceNumber(), 3490);
    Stack().SendResult = -1;
    Stack().LastError = 10040;
    EXPECT_EQ(Raised([&] { Client.PingOnce(); }), "Package Size Too Big.");
    Stack().LastError = 10065;
    EXPECT_EQ(Raised([&] { Client.PingOnce(); }), "Socket Error # 10065\r\nNo route to host.");
    EXPECT_EQ(Client.SequenceNumber(), 3490); // nothing went out
    EXPECT_FALSE(Stack().SocketOpen);         // nor is a socket left to gather traffic
    Stack().RefuseSocket = true;
    EXPECT_EQ(Raised([&] { Client.PingOnce(); }), "Cannot allocate socket.");
    EXPECT_FALSE(Stack().SocketOpen);
}

TEST_F(EchoClient, ReceiveIntoWithoutRoomNeitherWaitsNorOpens) {
    uint8_t Buffer[4];
    EXPECT_EQ(Client.ReceiveInto(Buffer, 0), 0);
    EXPECT_EQ(Client.ReceiveInto(Buffer, -5), 0);
    EXPECT_EQ(Client.ReceiveInto(nullptr, 4), 0);
    EXPECT_EQ(Stack().Sockets, 0);
    EXPECT_TRUE(Stack().SelectTimeouts.empty());
    Client.SetReceiveTimeout(-2);
    Queue(Echo(0, 1, 1));
    EXPECT_GT(Client.ReceiveInto(Buffer, 4, -1), 0);
    EXPECT_EQ(Stack().SelectTimeouts, std::vector<int>{-2});
}

TEST_F(EchoClient, WaitingOnAClosedBindingRaises) {
    TIdSocketHandle Handle;
    EXPECT_EQ(Raised([&] { Handle.WaitReadable(0); }), "Connection Closed Gracefully.");
}
} // namespace
