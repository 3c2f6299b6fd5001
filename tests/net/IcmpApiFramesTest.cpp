// What each result of Windows' ICMP API reads as once framed for the stand-in socket: the
// datagram a raw socket would have read, judged by the same decoder, or the socket's error.
#include "net/IcmpApiFrames.h"
#include "net/IdEchoReply.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <vector>

using namespace IcmpApi;

namespace {

// An echo request as the client builds it: identifier 0x1234 and sequence 7 travel least
// significant byte first, then the data. ICMPv6 numbers the request 128.
const std::vector<uint8_t> Request = {8, 0, 0, 0, 0x34, 0x12, 7, 0, 'v', 'e', 'x', 'l', 'o'};
const std::vector<uint8_t> Request6 = {128, 0, 0, 0, 0x34, 0x12, 7, 0, 'v', 'e', 'x', 'l', 'o'};
const uint8_t Target[4] = {127, 0, 0, 1};
const uint8_t Router[4] = {127, 0, 0, 9};
const uint8_t Target6[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
const uint8_t Router6[16] = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9};
const uint8_t Echoed[5] = {'v', 'e', 'x', 'l', 'o'};

// The family goes with each row: 4 through IcmpSendEcho2's framing, 6 through Icmp6SendEcho2's.
TFramed Frame(int AFamily, TEchoResult AResult, bool AFromTarget) {
    const uint8_t* From =
        AFamily == 4 ? (AFromTarget ? Target : Router) : (AFromTarget ? Target6 : Router6);
    std::copy(From, From + (AFamily == 4 ? 4 : 16), AResult.From);
    return AFamily == 4 ? FrameEchoResult(AResult, Request, Target, 32)
                        : FrameEcho6Result(AResult, Request6, Target6, 32);
}

TDecodedReply Decode(int AFamily, const std::vector<uint8_t>& ADatagram, uint16_t AIdentifier) {
    return AFamily == 4 ? DecodeEchoReply(ADatagram, AIdentifier, 7)
                        : DecodeEcho6Datagram(ADatagram, AIdentifier, 7);
}

TEST(IcmpApiFrames, EachResultReadsAsTheRawSocketWouldHaveDeliveredIt) {
    struct TCase {
        int Family;
        uint32_t Status;
        uint8_t Type, Code; // of the message the socket reads
        TReplyKind Kind;    // what the decoder makes of the datagram
        const char* Source; // the address the status line names
        TReplyDecision Decision = TReplyDecision::Accepted;
    };
    const TCase Cases[] = {
        {4, Id_IP_SUCCESS, 0, 0, rkEchoReply, "127.0.0.1"},
        {4, Id_IP_DEST_HOST_UNREACHABLE, 3, 1, rkUnreachable, "127.0.0.9"},
        {4, Id_IP_DEST_NET_UNREACHABLE, 3, 0, rkUnreachable, "127.0.0.9"},
        {4, Id_IP_DEST_PORT_UNREACHABLE, 3, 3, rkUnreachable, "127.0.0.9"},
        {4, Id_IP_DEST_PROT_UNREACHABLE, 3, 2, rkUnreachable, "127.0.0.9"},
        {4, Id_IP_PACKET_TOO_BIG, 3, 4, rkUnreachable, "127.0.0.9"},
        {4, Id_IP_TTL_EXPIRED_REASSEM, 11, 1, rkTtlExpired, "127.0.0.9"},
        {4, Id_IP_TTL_EXPIRED_TRANSIT, 11, 0, rkTtlExpired, "127.0.0.9"},
        {6, Id_IP_SUCCESS, 129, 0, rkEchoReply, "::1"},
        {6, Id_IP_DEST_NO_ROUTE, 1, 0, rkUnreachable, "2001:db8::9"},
        {6, Id_IP_DEST_PROHIBITED, 1, 1, rkUnreachable, "2001:db8::9"},
        {6, Id_IP_DEST_SCOPE_MISMATCH, 1, 2, rkUnreachable, "2001:db8::9"},
        {6, Id_IP_DEST_ADDR_UNREACHABLE, 1, 3, rkUnreachable, "2001:db8::9"},
        {6, Id_IP_DEST_PORT_UNREACHABLE, 1, 4, rkUnreachable, "2001:db8::9"},
        {6, Id_IP_DEST_UNREACHABLE, 1, 0, rkUnreachable, "2001:db8::9"},
        {6, Id_IP_PACKET_TOO_BIG, 2, 0, rkUnreachable, "2001:db8::9"},
        {6, Id_IP_HOP_LIMIT_EXCEEDED, 3, 0, rkTtlExpired, "2001:db8::9"},
        {6, Id_IP_TIME_EXCEEDED, 3, 0, rkTtlExpired, "2001:db8::9"},
        {6, Id_IP_REASSEMBLY_TIME_EXCEEDED, 3, 1, rkTtlExpired, "2001:db8::9"},
        // Ours, but no echo and none of its errors: the decoder's call, as on a raw socket.
        {6, Id_IP_PARAMETER_PROBLEM, 4, 2, rkError, "", TReplyDecision::NonEcho},
        {6, Id_IP_BAD_HEADER, 4, 0, rkError, "", TReplyDecision::NonEcho},
        {6, Id_IP_UNRECOGNIZED_NEXT_HEADER, 4, 1, rkError, "", TReplyDecision::NonEcho},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(testing::Message() << "IPv" << C.Family << " status " << C.Status);
        TEchoResult Result;
        Result.Status = C.Status;
        Result.Ttl = 61;
        Result.Data = Echoed;
        const auto Framed = Frame(C.Family, Result, C.Status == Id_IP_SUCCESS);
        EXPECT_EQ(Framed.SocketError, 0);
        const size_t Header = C.Family == 4 ? 20 : 40;
        ASSERT_GT(Framed.Datagram.size(), Header + 1);
        EXPECT_EQ(Framed.Datagram[Header], C.Type);
        EXPECT_EQ(Framed.Datagram[Header + 1], C.Code);
        const auto Decoded = Decode(C.Family, Framed.Datagram, 0x1234);
        EXPECT_EQ(Decoded.Decision, C.Decision);
        if (C.Decision == TReplyDecision::Accepted) {
            EXPECT_EQ(Decoded.Status.Kind, C.Kind);
            EXPECT_EQ(Decoded.Status.SourceAddress, C.Source);
            EXPECT_EQ(Decoded.Status.Ttl, 61);
        }
        // Another exchange's identifier is not ours, as on a raw socket.
        EXPECT_EQ(Decode(C.Family, Framed.Datagram, 0x1235).Decision, TReplyDecision::NotOurs);
    }
}

TEST(IcmpApiFrames, TimeOutsLeaveNothingToReadAndFailuresTheirSocketCode) {
    struct TCase {
        uint32_t Status;
        int SocketError;
    };
    const TCase Cases[] = {
        {Id_IP_REQ_TIMED_OUT, 0},       {Id_ERROR_ACCESS_DENIED, 10013},
        {Id_IP_NO_RESOURCES, 10055},    {Id_IP_BAD_ROUTE, 10051},
        {Id_IP_GENERAL_FAILURE, 10050}, {Id_IP_BUF_TOO_SMALL, 10040},
        {Id_IP_BAD_DESTINATION, 10049}, {Id_ERROR_NOT_ENOUGH_MEMORY, 10055},
    };
    for (const int Family : {4, 6}) {
        for (const auto& C : Cases) {
            SCOPED_TRACE(testing::Message() << "IPv" << Family << " status " << C.Status);
            TEchoResult Result;
            Result.Status = C.Status;
            const auto Framed = Frame(Family, Result, false);
            EXPECT_TRUE(Framed.Datagram.empty());
            EXPECT_EQ(Framed.SocketError, C.SocketError);
        }
    }
}

TEST(IcmpApiFrames, AnIcmpv6ReplyBufferIsReadAsWindowsLaysItOut) {
    // ICMPV6_ECHO_REPLY: port 2, flow 4, address 16, scope 4 (packed), padding 2, status 4,
    // round-trip time 4; the echoed data after it.
    std::vector<uint8_t> Buffer(Echo6ReplyBytes, 0);
    std::copy(std::begin(Router6), std::end(Router6), Buffer.begin() + 6);
    Buffer[22] = 3; // scope 3
    Buffer[28] = 0xFD;
    Buffer[29] = 0x2A; // 11005
    Buffer.insert(Buffer.end(), std::begin(Echoed), std::end(Echoed));
    TEchoResult Result;
    ASSERT_TRUE(ReadEcho6Reply(Buffer, 5, Result));
    EXPECT_TRUE(std::equal(std::begin(Router6), std::end(Router6), Result.From));
    EXPECT_EQ(Result.ScopeId, 3u);
    EXPECT_EQ(Result.Status, Id_IP_DEST_PORT_UNREACHABLE);
    EXPECT_EQ(std::vector<uint8_t>(Result.Data.begin(), Result.Data.end()),
              std::vector<uint8_t>(std::begin(Echoed), std::end(Echoed)));
    // The data ends at the request's size and at the buffer's end, whichever comes first.
    ASSERT_TRUE(ReadEcho6Reply(Buffer, 2, Result));
    EXPECT_EQ(Result.Data.size(), 2u);
    ASSERT_TRUE(ReadEcho6Reply(Buffer, 64, Result));
    EXPECT_EQ(Result.Data.size(), 5u);
    EXPECT_FALSE(ReadEcho6Reply({Buffer.data(), Echo6ReplyBytes - 1}, 5, Result));
}

} // namespace
