// The reply decoder alone, on datagrams built here: no socket, no stack, no clock.
#include "net/IcmpFrames.h"
#include "net/IdAddressText.h"
#include "net/IdEchoReply.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {
constexpr uint16_t Id = 0xBEEF;
constexpr uint16_t Seq = 0x1234;

// An IPv4 header (TTL 57, from 10.1.2.3) and an ICMP header of the type carrying AId, ASeq.
std::vector<uint8_t> Datagram(uint8_t AType, uint16_t AId = Id, uint16_t ASeq = Seq) {
    return {0x45,
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            57,
            1,
            0,
            0,
            10,
            1,
            2,
            3,
            127,
            0,
            0,
            1,
            AType,
            0,
            0,
            0,
            static_cast<uint8_t>(AId),
            static_cast<uint8_t>(AId >> 8),
            static_cast<uint8_t>(ASeq),
            static_cast<uint8_t>(ASeq >> 8)};
}

// An error message of the type quoting an echo request (or AQuotedType) with AId, ASeq.
std::vector<uint8_t> ErrorQuoting(uint8_t AType, uint8_t AQuotedType = 8, uint16_t AId = Id) {
    std::vector<uint8_t> Bytes = Datagram(AType, 0, 0);
    const std::vector<uint8_t> Quoted = Datagram(AQuotedType, AId, Seq);
    Bytes.insert(Bytes.end(), Quoted.begin(), Quoted.end());
    return Bytes;
}

// An ICMPv6 message of the type carrying AId, ASeq, as a raw ICMPv6 socket reads it: no IP
// header.
std::vector<uint8_t> Message6(uint8_t AType, uint16_t AId = Id, uint16_t ASeq = Seq) {
    const auto Lo = [](uint16_t A) { return static_cast<uint8_t>(A); };
    const auto Hi = [](uint16_t A) { return static_cast<uint8_t>(A >> 8); };
    return {AType, 0, 0, 0, Lo(AId), Hi(AId), Lo(ASeq), Hi(ASeq)};
}

// An ICMPv6 error quoting an IPv6 header (next header ANext) and a message of AQuotedType.
std::vector<uint8_t> Error6Quoting(uint8_t AType, uint8_t AQuotedType = 128, uint16_t AId = Id,
                                   uint8_t ANext = 58) {
    std::vector<uint8_t> Bytes = Message6(AType, 0, 0);
    std::vector<uint8_t> Header(40, 0);
    Header[0] = 0x60;
    Header[6] = ANext;
    Header[7] = 64;
    Bytes.insert(Bytes.end(), Header.begin(), Header.end());
    const std::vector<uint8_t> Quoted = Message6(AQuotedType, AId, Seq);
    Bytes.insert(Bytes.end(), Quoted.begin(), Quoted.end());
    return Bytes;
}

TIp6Address Ip6(const char* AText) {
    TIp6Address Address;
    EXPECT_TRUE(ParseIp6Text(AText, Address));
    return Address;
}

std::vector<uint8_t> WithoutLastByte(std::vector<uint8_t> ABytes) {
    ABytes.pop_back();
    return ABytes;
}

TEST(EchoReplyDecoder, DecidesEachKindOfDatagram) {
    struct TCase {
        const char* Name;
        std::vector<uint8_t> Bytes;
        TReplyDecision Decision;
        TReplyKind Kind;
        int Family = 4;
    };
    const std::vector<uint8_t> Reply = Datagram(0);
    constexpr auto Accepted = TReplyDecision::Accepted;
    constexpr auto NotOurs = TReplyDecision::NotOurs;
    const TCase Cases[] = {
        {"echo reply", Reply, TReplyDecision::Accepted, rkEchoReply},
        {"own echo request", Datagram(8), TReplyDecision::Accepted, rkEchoReply},
        {"unreachable quoting ours", ErrorQuoting(3), TReplyDecision::Accepted, rkUnreachable},
        {"time exceeded quoting ours", ErrorQuoting(11), TReplyDecision::Accepted, rkTtlExpired},
        {"another identifier", Datagram(0, Id + 1), TReplyDecision::NotOurs, rkEchoReply},
        {"another sequence", Datagram(0, Id, Seq + 1), TReplyDecision::NotOurs, rkEchoReply},
        {"error quoting another's", ErrorQuoting(3, 8, Id + 1), TReplyDecision::NotOurs,
         rkEchoReply},
        {"error quoting a reply", ErrorQuoting(3, 0), TReplyDecision::NotOurs, rkEchoReply},
        {"error quoting a cut request", WithoutLastByte(ErrorQuoting(3)), TReplyDecision::NotOurs,
         rkEchoReply},
        {"one byte short", WithoutLastByte(Reply), TReplyDecision::TooShort, rkEchoReply},
        {"redirect", Datagram(5), TReplyDecision::NonEcho, rkEchoReply},
        {"v6 echo reply", Message6(129), Accepted, rkEchoReply, 6},
        {"v6 unreachable quoting ours", Error6Quoting(1), Accepted, rkUnreachable, 6},
        {"v6 packet too big quoting ours", Error6Quoting(2), Accepted, rkUnreachable, 6},
        {"v6 time exceeded quoting ours", Error6Quoting(3), Accepted, rkTtlExpired, 6},
        {"v6 parameter problem quoting ours", Error6Quoting(4), TReplyDecision::NonEcho,
         rkEchoReply, 6},
        {"v6 unknown error quoting ours", Error6Quoting(100), TReplyDecision::NonEcho, rkEchoReply,
         6},
        {"v6 parameter problem quoting another's", Error6Quoting(4, 128, Id + 1), NotOurs,
         rkEchoReply, 6},
        {"v6 own echo request", Message6(128), NotOurs, rkEchoReply, 6},
        {"v6 neighbour advertisement", Message6(136), NotOurs, rkEchoReply, 6},
        {"v6 another identifier", Message6(129, Id + 1), NotOurs, rkEchoReply, 6},
        {"v6 another sequence", Message6(129, Id, Seq + 1), NotOurs, rkEchoReply, 6},
        {"v6 error quoting another's", Error6Quoting(1, 128, Id + 1), NotOurs, rkEchoReply, 6},
        {"v6 error quoting a reply", Error6Quoting(1, 129), NotOurs, rkEchoReply, 6},
        {"v6 error quoting an extension header", Error6Quoting(1, 128, Id, 0), NotOurs, rkEchoReply,
         6},
        {"v6 error quoting a cut request", WithoutLastByte(Error6Quoting(1)), NotOurs, rkEchoReply,
         6},
        {"v6 one byte short", WithoutLastByte(Message6(129)), TReplyDecision::TooShort, rkEchoReply,
         6},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        const bool V6 = Case.Family == 6;
        const TDecodedReply Got =
            V6 ? DecodeEcho6Reply(Case.Bytes, Ip6("fe80::1%eth0"), 57, Id, Seq)
               : DecodeEchoReply(Case.Bytes, Id, Seq);
        EXPECT_EQ(Got.Decision, Case.Decision);
        if (Case.Decision == TReplyDecision::Accepted) {
            EXPECT_EQ(Got.Status.Kind, Case.Kind);
            EXPECT_EQ(Got.Status.ByteCount, static_cast<int32_t>(Case.Bytes.size()));
            EXPECT_EQ(Got.Status.SourceAddress, V6 ? "fe80::1%eth0" : "10.1.2.3");
            EXPECT_EQ(Got.Status.Ttl, 57);
            EXPECT_EQ(Got.Status.IcmpType, Case.Bytes[V6 ? 0 : 20]);
            EXPECT_EQ(Got.Status.Sequence, Seq);
        }
    }
}

TEST(EchoReplyDecoder, NothingReceivedIsTheTimeOutOfTheRequestsSequence) {
    const TDecodedReply Got = DecodeEchoReply({}, Id, Seq);
    EXPECT_EQ(Got.Decision, TReplyDecision::Accepted);
    EXPECT_EQ(Got.Status.Kind, rkTimedOut);
    EXPECT_EQ(Got.Status.SourceAddress, "0.0.0.0");
    EXPECT_EQ(Got.Status.Sequence, Seq);
    EXPECT_EQ(Got.Status.ByteCount, 0);
    const TDecodedReply Got6 = DecodeEcho6Reply({}, Ip6("::1"), 64, Id, Seq);
    EXPECT_EQ(Got6.Decision, TReplyDecision::Accepted);
    EXPECT_EQ(Got6.Status.Kind, rkTimedOut);
    EXPECT_EQ(Got6.Status.SourceAddress, "::");
    EXPECT_EQ(Got6.Status.Sequence, Seq);
}

// Every IPv6 way of pinging puts a header in front of the message; the sender and hop limit
// are read from there, and a header with too little after it is no time-out.
TEST(EchoReplyDecoder, Ip6DatagramTakesSenderAndHopLimitFromItsHeader) {
    IcmpFrames::TMessage6Facts Facts;
    const TIp6Address Source = Ip6("fd00:76::2");
    std::copy(std::begin(Source.Bytes), std::end(Source.Bytes), Facts.Source);
    Facts.HopLimit = 61;
    const std::vector<uint8_t> Reply = Message6(129);
    std::vector<uint8_t> Framed(40);
    Framed.insert(Framed.end(), Reply.begin(), Reply.end());
    IcmpFrames::FrameMessage6(Facts, Framed, Reply.size(), {{0xEF, 0xBE}}, {{0xEF, 0xBE}});
    EXPECT_EQ(Framed[0], 0x60);
    EXPECT_EQ(Framed[5], Reply.size());
    EXPECT_EQ(Framed[6], 58);

    const TDecodedReply Got = DecodeEcho6Datagram(Framed, Id, Seq);
    ASSERT_EQ(Got.Decision, TReplyDecision::Accepted);
    EXPECT_EQ(Got.Status.Kind, rkEchoReply);
    EXPECT_EQ(Got.Status.SourceAddress, "fd00:76::2");
    EXPECT_EQ(Got.Status.Ttl, 61);
    EXPECT_EQ(Got.Status.ByteCount, 8);
    EXPECT_EQ(DecodeEcho6Datagram({}, Id, Seq).Status.Kind, rkTimedOut);
    for (const size_t Cut : {size_t{1}, size_t{40}, size_t{47}}) {
        EXPECT_EQ(DecodeEcho6Datagram({Framed.data(), Cut}, Id, Seq).Decision,
                  TReplyDecision::TooShort)
            << Cut;
    }
}

// A header length field of 0 makes the first byte the ICMP type (0: an echo reply); the
// IPv4 fields then lie past the end of the 8-byte datagram and read as zero, never beyond it.
TEST(EchoReplyDecoder, FieldsPastAShortDatagramReadAsZero) {
    const std::vector<uint8_t> Bytes = {0x00, 0, 0, 0, 0xEF, 0xBE, 0x34, 0x12};
    const TDecodedReply Got = DecodeEchoReply(Bytes, Id, Seq);
    ASSERT_EQ(Got.Decision, TReplyDecision::Accepted);
    EXPECT_EQ(Got.Status.SourceAddress, "0.0.0.0");
    EXPECT_EQ(Got.Status.Ttl, 0);
}

TEST(DottedText, SplitsAtTheFirstThreeDotsAndCountsEvery) {
    struct TCase {
        const char* Text;
        const char* Parts[4];
        int Dots;
    };
    const TCase Cases[] = {
        {"1.2.3.4", {"1", "2", "3", "4"}, 3}, {"1.2.3.4.5", {"1", "2", "3", "4.5"}, 4},
        {"1.2", {"1", "2", "", ""}, 1},       {"", {"", "", "", ""}, 0},
        {"...", {"", "", "", ""}, 3},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Text);
        const TDottedPieces Pieces = SplitDotted(Case.Text);
        for (int I = 0; I < 4; ++I) {
            EXPECT_EQ(Pieces.Part[I], Case.Parts[I]);
        }
        EXPECT_EQ(Pieces.Dots, Case.Dots);
    }
    EXPECT_EQ(DottedText({255, 0, 10, 1}), "255.0.10.1");
}
} // namespace
