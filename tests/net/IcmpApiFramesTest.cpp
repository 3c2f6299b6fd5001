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
// significant byte first, then the data.
const std::vector<uint8_t> Request = {8, 0, 0, 0, 0x34, 0x12, 7, 0, 'v', 'e', 'x', 'l', 'o'};
const uint8_t Target[4] = {127, 0, 0, 1};
const uint8_t Router[4] = {127, 0, 0, 9};
const uint8_t Echoed[5] = {'v', 'e', 'x', 'l', 'o'};

TEST(IcmpApiFrames, EachResultReadsAsTheRawSocketWouldHaveDeliveredIt) {
    struct TCase {
        uint32_t Status;
        TReplyKind Kind;    // what the decoder makes of the datagram
        const char* Source; // the address the status line names
    };
    const TCase Cases[] = {
        {Id_IP_SUCCESS, rkEchoReply, "127.0.0.1"},
        {Id_IP_DEST_HOST_UNREACHABLE, rkUnreachable, "127.0.0.9"},
        {Id_IP_DEST_NET_UNREACHABLE, rkUnreachable, "127.0.0.9"},
        {Id_IP_DEST_PORT_UNREACHABLE, rkUnreachable, "127.0.0.9"},
        {Id_IP_DEST_PROT_UNREACHABLE, rkUnreachable, "127.0.0.9"},
        {Id_IP_PACKET_TOO_BIG, rkUnreachable, "127.0.0.9"},
        {Id_IP_TTL_EXPIRED_REASSEM, rkTtlExpired, "127.0.0.9"},
        {Id_IP_TTL_EXPIRED_TRANSIT, rkTtlExpired, "127.0.0.9"},
    };
    for (const auto& C : Cases) {
        TEchoResult Result;
        Result.Status = C.Status;
        const auto& From = C.Status == Id_IP_SUCCESS ? Target : Router;
        std::copy(std::begin(From), std::end(From), Result.From);
        Result.Ttl = 61;
        Result.Data = Echoed;
        const auto Framed = FrameEchoResult(Result, Request, Target, 32);
        EXPECT_EQ(Framed.SocketError, 0) << C.Status;
        const auto Decoded = DecodeEchoReply(Framed.Datagram, 0x1234, 7);
        EXPECT_EQ(Decoded.Decision, TReplyDecision::Accepted) << C.Status;
        EXPECT_EQ(Decoded.Status.Kind, C.Kind) << C.Status;
        EXPECT_EQ(Decoded.Status.SourceAddress, C.Source) << C.Status;
        EXPECT_EQ(Decoded.Status.Ttl, 61) << C.Status;
    }
    // Another exchange's identifier is not ours, as on a raw socket.
    TEchoResult Reply;
    Reply.Data = Echoed;
    const auto Framed = FrameEchoResult(Reply, Request, Target, 32);
    EXPECT_EQ(DecodeEchoReply(Framed.Datagram, 0x1235, 7).Decision, TReplyDecision::NotOurs);
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
    for (const auto& C : Cases) {
        TEchoResult Result;
        Result.Status = C.Status;
        const auto Framed = FrameEchoResult(Result, Request, Target, 32);
        EXPECT_TRUE(Framed.Datagram.empty()) << C.Status;
        EXPECT_EQ(Framed.SocketError, C.SocketError) << C.Status;
    }
}

} // namespace
