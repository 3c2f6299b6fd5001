// What the datagram socket's adapter puts around what the kernel hands over, judged by the
// same decoder that reads a raw socket's datagrams, and checked for well-formed headers.
#include "net/IdEchoReply.h"
#include "net/posix/IcmpDatagramControl.h"

#include <gtest/gtest.h>

#include <cstring>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <string>
#include <vector>

namespace {
using namespace IcmpFrames;
using namespace IdPosix;

// The client writes identifier and sequence least significant byte first.
constexpr uint16_t ClientId = 0x4321;
constexpr uint16_t Seq = 3489;
constexpr TIdentifier Client{{0x21, 0x43}};
constexpr TIdentifier OtherKernel{{0x9A, 0x07}};
const uint8_t Us[4] = {198, 51, 100, 2};
const uint8_t Target[4] = {203, 0, 113, 2};
const uint8_t Router[4] = {198, 51, 100, 1};

// Our 52-byte echo request, or the kernel's echo reply to it (type 0), carrying AId as it
// travels and a valid checksum.
std::vector<uint8_t> Echo(uint8_t AType, TIdentifier AId) {
    std::vector<uint8_t> M(52, 0x45);
    M[0] = AType;
    M[1] = 0;
    M[2] = M[3] = 0;
    M[4] = AId.Bytes[0];
    M[5] = AId.Bytes[1];
    M[6] = static_cast<uint8_t>(Seq);
    M[7] = static_cast<uint8_t>(Seq >> 8);
    std::memset(&M[8], 0, 12);
    M[20] = M[21] = ' ';
    const uint16_t Sum = InternetChecksum(M);
    M[2] = static_cast<uint8_t>(Sum >> 8);
    M[3] = static_cast<uint8_t>(Sum);
    return M;
}

std::vector<uint8_t> AfterRoom(size_t ARoom, const std::vector<uint8_t>& ABytes) {
    std::vector<uint8_t> D(ARoom, 0xCC); // the room's old contents must not show through
    D.insert(D.end(), ABytes.begin(), ABytes.end());
    return D;
}

uint16_t Be16(const std::vector<uint8_t>& D, size_t AAt) {
    return static_cast<uint16_t>((D[AAt] << 8) | D[AAt + 1]);
}

// A well-formed IPv4 header at AAt: version 4 with 20 bytes, protocol ICMP, a checksum
// that verifies, the given length, TTL and addresses.
void ExpectIpv4Header(const std::vector<uint8_t>& D, size_t AAt, size_t ATotal, uint8_t ATtl,
                      const uint8_t ASource[4], const uint8_t ADestination[4]) {
    EXPECT_EQ(D[AAt], 0x45);
    EXPECT_EQ(Be16(D, AAt + 2), ATotal);
    EXPECT_EQ(D[AAt + 8], ATtl);
    EXPECT_EQ(D[AAt + 9], 1);
    EXPECT_EQ(std::memcmp(&D[AAt + 12], ASource, 4), 0);
    EXPECT_EQ(std::memcmp(&D[AAt + 16], ADestination, 4), 0);
    EXPECT_EQ(InternetChecksum({&D[AAt], 20}), 0) << "header checksum";
}

TEST(IcmpDatagramFrames, ReplyGetsTheHeaderARawSocketReads) {
    struct TCase {
        const char* Name;
        TIdentifier Kernel; // the identifier the socket is bound to
        uint16_t ExpectSeq; // what the decoder is asked for
        TReplyDecision Decision;
    } const Cases[] = {
        {"bound to the client's identifier", Client, Seq, TReplyDecision::Accepted},
        {"the kernel chose another identifier", OtherKernel, Seq, TReplyDecision::Accepted},
        {"the kernel chose identifier 0", TIdentifier{}, Seq, TReplyDecision::Accepted},
        {"a reply to an earlier request", Client, Seq + 1, TReplyDecision::NotOurs},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        std::vector<uint8_t> D = AfterRoom(Ipv4HeaderBytes, Echo(0, C.Kernel));
        const TReplyFacts Facts{{203, 0, 113, 2}, {198, 51, 100, 2}, 63};
        FrameReply(Facts, D, 52, C.Kernel, Client);

        ExpectIpv4Header(D, 0, 72, 63, Target, Us);
        EXPECT_EQ(InternetChecksum({&D[20], 52}), 0) << "ICMP checksum after translation";
        const TDecodedReply R = DecodeEchoReply(D, ClientId, C.ExpectSeq);
        EXPECT_EQ(R.Decision, C.Decision);
        if (C.Decision == TReplyDecision::Accepted) {
            EXPECT_EQ(R.Status.Kind, rkEchoReply);
            EXPECT_EQ(R.Status.IcmpType, 0);
            EXPECT_EQ(R.Status.SourceAddress, "203.0.113.2");
            EXPECT_EQ(R.Status.Ttl, 63);
            EXPECT_EQ(R.Status.ByteCount, 72);
            EXPECT_EQ(R.Status.Sequence, Seq);
        }
    }
}

TEST(IcmpDatagramFrames, EachErrorTypeIsRebuiltAndDecidedAsFromARawSocket) {
    struct TCase {
        const char* Name;
        uint8_t Type, Code;
        uint32_t Info;
        uint8_t Word[4]; // the error header's second word
        TReplyDecision Decision;
        TReplyKind Kind;
    } const Cases[] = {
        {"host unreachable", 3, 1, 0, {0, 0, 0, 0}, TReplyDecision::Accepted, rkUnreachable},
        {"port unreachable", 3, 3, 0, {0, 0, 0, 0}, TReplyDecision::Accepted, rkUnreachable},
        {"fragmentation needed, MTU 1400",
         3,
         4,
         1400,
         {0, 0, 0x05, 0x78},
         TReplyDecision::Accepted,
         rkUnreachable},
        {"communication prohibited",
         3,
         13,
         0,
         {0, 0, 0, 0},
         TReplyDecision::Accepted,
         rkUnreachable},
        {"TTL exceeded in transit", 11, 0, 0, {0, 0, 0, 0}, TReplyDecision::Accepted, rkTtlExpired},
        {"reassembly time exceeded",
         11,
         1,
         0,
         {0, 0, 0, 0},
         TReplyDecision::Accepted,
         rkTtlExpired},
        {"parameter problem at byte 8", 12, 0, 8, {8, 0, 0, 0}, TReplyDecision::NonEcho, rkError},
        {"host redirect to 203.0.113.9",
         5,
         1,
         0xCB007109,
         {203, 0, 113, 9},
         TReplyDecision::NonEcho,
         rkError},
    };
    for (const TIdentifier Kernel : {Client, OtherKernel}) {
        for (const TCase& C : Cases) {
            SCOPED_TRACE(std::string(C.Name) + (Kernel == Client ? "" : ", identifier translated"));
            // As Linux routers quote: the whole request.
            std::vector<uint8_t> D = AfterRoom(ErrorPrefixBytes, Echo(8, Kernel));
            TErrorFacts Facts;
            std::memcpy(Facts.Offender, Router, 4);
            std::memcpy(Facts.Destination, Us, 4);
            Facts.Ttl = 64;
            Facts.Type = C.Type;
            Facts.Code = C.Code;
            Facts.Info = C.Info;
            std::memcpy(Facts.Target, Target, 4);
            Facts.RequestTtl = 128;
            Facts.RequestBytes = 52;
            FrameError(Facts, D, 52, Kernel, Client);

            ASSERT_EQ(D.size(), 100u);
            ExpectIpv4Header(D, 0, 100, 64, Router, Us);
            EXPECT_EQ(D[20], C.Type);
            EXPECT_EQ(D[21], C.Code);
            EXPECT_EQ(std::memcmp(&D[24], C.Word, 4), 0) << "second word";
            EXPECT_EQ(InternetChecksum({&D[20], 80}), 0) << "error message checksum";
            ExpectIpv4Header(D, 28, 72, 128, Us, Target);
            EXPECT_EQ(InternetChecksum({&D[48], 52}), 0) << "quoted request checksum";

            const TDecodedReply R = DecodeEchoReply(D, ClientId, Seq);
            EXPECT_EQ(R.Decision, C.Decision);
            if (C.Decision == TReplyDecision::Accepted) {
                EXPECT_EQ(R.Status.Kind, C.Kind);
                EXPECT_EQ(R.Status.IcmpType, C.Type);
                EXPECT_EQ(R.Status.SourceAddress, "198.51.100.1");
                EXPECT_EQ(R.Status.Ttl, 64);
                EXPECT_EQ(R.Status.ByteCount, 100);
                EXPECT_EQ(R.Status.Sequence, Seq);
            }
            EXPECT_EQ(DecodeEchoReply(D, ClientId, Seq + 1).Decision,
                      C.Decision == TReplyDecision::Accepted ? TReplyDecision::NotOurs
                                                             : C.Decision);
        }
    }
}

// A quote that ends inside the echo header cannot show that the request was ours.
TEST(IcmpDatagramFrames, QuotedRequestCutShort) {
    struct TCase {
        size_t Quoted;
        TReplyDecision Decision;
    } const Cases[] = {
        {52, TReplyDecision::Accepted}, {8, TReplyDecision::Accepted}, {7, TReplyDecision::NotOurs},
        {5, TReplyDecision::NotOurs},   {4, TReplyDecision::NotOurs},  {0, TReplyDecision::NotOurs},
    };
    for (const TIdentifier Kernel : {Client, OtherKernel}) {
        for (const TCase& C : Cases) {
            SCOPED_TRACE(std::to_string(C.Quoted) + " bytes quoted" +
                         (Kernel == Client ? "" : ", identifier translated"));
            std::vector<uint8_t> Request = Echo(8, Kernel);
            Request.resize(C.Quoted);
            std::vector<uint8_t> D = AfterRoom(ErrorPrefixBytes, Request);
            TErrorFacts Facts;
            std::memcpy(Facts.Offender, Router, 4);
            std::memcpy(Facts.Destination, Us, 4);
            Facts.Ttl = 64;
            Facts.Type = 3;
            Facts.Code = 1;
            std::memcpy(Facts.Target, Target, 4);
            Facts.RequestTtl = 128;
            Facts.RequestBytes = 52;
            FrameError(Facts, D, C.Quoted, Kernel, Client);

            ASSERT_EQ(D.size(), ErrorPrefixBytes + C.Quoted);
            ExpectIpv4Header(D, 0, D.size(), 64, Router, Us);
            ExpectIpv4Header(D, 28, 72, 128, Us, Target);
            EXPECT_EQ(InternetChecksum({&D[20], D.size() - 20}), 0);
            const TDecodedReply R = DecodeEchoReply(D, ClientId, Seq);
            EXPECT_EQ(R.Decision, C.Decision);
            if (C.Quoted >= 6) {
                EXPECT_EQ(D[52], Client.Bytes[0]);
                EXPECT_EQ(D[53], Client.Bytes[1]);
            }
        }
    }
}

// The checksum the client computes over its request, and the one the adapter mends, agree
// with the Internet checksum whatever word changes.
TEST(IcmpDatagramFrames, IdentifierChangeMendsTheChecksumForEveryValue) {
    for (uint32_t From = 0; From <= 0xFFFF; From += 0x0101) {
        for (const TIdentifier To : {TIdentifier{{0, 0}}, TIdentifier{{0xFF, 0xFF}}, Client,
                                     TIdentifier{{static_cast<uint8_t>(From), 0x80}}}) {
            std::vector<uint8_t> M =
                Echo(0, {{static_cast<uint8_t>(From >> 8), static_cast<uint8_t>(From)}});
            ReplaceIdentifier(M, To);
            ASSERT_EQ(InternetChecksum(M), 0) << From;
            ASSERT_EQ(M[4], To.Bytes[0]);
            ASSERT_EQ(M[5], To.Bytes[1]);
        }
    }
}

// Control messages laid out as recvmsg lays them out; Claim is what a header's length says
// beyond its data, and Cut what the kernel left out of the end (MSG_CTRUNC).
struct TControlMessage {
    int Type;
    std::vector<uint8_t> Data;
    int Claim = 0;
};

template <typename T> std::vector<uint8_t> BytesOf(const T& AValue) {
    const auto* P = reinterpret_cast<const uint8_t*>(&AValue);
    return {P, P + sizeof AValue};
}

sockaddr_in Address(const uint8_t AAddress[4]) {
    sockaddr_in A{};
    A.sin_family = AF_INET;
    std::memcpy(&A.sin_addr, AAddress, 4);
    return A;
}

std::vector<uint8_t> ErrorRecord(uint8_t AOrigin, bool AWithOffender) {
    sock_extended_err E{};
    E.ee_errno = EHOSTUNREACH;
    E.ee_origin = AOrigin;
    E.ee_type = 3;
    E.ee_code = 4;
    E.ee_info = 1400;
    auto Bytes = BytesOf(E);
    if (AWithOffender) {
        const auto Offender = BytesOf(Address(Router));
        Bytes.insert(Bytes.end(), Offender.begin(), Offender.end());
    }
    return Bytes;
}

// What recvmsg tells besides the message, read from control messages as the kernel writes
// them and from ones it cut short; "t.t.t.t" is the address of the message.
TEST(IcmpDatagramFrames, FactsComeFromWholeControlMessagesOnly) {
    in_pktinfo Info{};
    std::memcpy(&Info.ipi_addr, Us, 4);
    const TControlMessage Ttl{IP_TTL, BytesOf(63)}, OurAddress{IP_PKTINFO, BytesOf(Info)};
    struct TCase {
        const char* Name;
        std::vector<TControlMessage> Messages;
        size_t Cut;
        const char* Reply; // source, destination, TTL
        const char* Error; // offender, destination, TTL, target, type/code/info; or "none"
    } const Cases[] = {
        {"all there",
         {Ttl, OurAddress, {IP_RECVERR, ErrorRecord(SO_EE_ORIGIN_ICMP, true)}},
         0,
         "203.0.113.2 198.51.100.2 63",
         "198.51.100.1 198.51.100.2 63 203.0.113.2 3/4/1400"},
        {"no control messages", {}, 0, "203.0.113.2 0.0.0.0 0", "none"},
        {"the first of each type counts, though short",
         {{IP_TTL, {7}}, OurAddress, Ttl, {IP_PKTINFO, BytesOf(in_pktinfo{})}},
         0,
         "203.0.113.2 198.51.100.2 0",
         "none"},
        {"an error of our own send",
         {{IP_RECVERR, ErrorRecord(SO_EE_ORIGIN_LOCAL, true)}},
         0,
         "203.0.113.2 0.0.0.0 0",
         "none"},
        {"a record without its offender",
         {{IP_RECVERR, ErrorRecord(SO_EE_ORIGIN_ICMP, false)}},
         0,
         "203.0.113.2 0.0.0.0 0",
         "0.0.0.0 0.0.0.0 0 203.0.113.2 3/4/1400"},
        {"a record one byte short",
         {{IP_RECVERR,
           [] {
               auto R = ErrorRecord(SO_EE_ORIGIN_ICMP, false);
               R.pop_back();
               return R;
           }()}},
         0,
         "203.0.113.2 0.0.0.0 0",
         "none"},
        {"a TTL that claims more than is there",
         {{IP_TTL, BytesOf(63), 64}, OurAddress},
         0,
         "203.0.113.2 0.0.0.0 0",
         "none"},
        // As the kernel cuts one where the buffer ends: its length tells only what is there.
        {"the last message cut by the kernel",
         {Ttl, {IP_PKTINFO, BytesOf(Info), -8}},
         8,
         "203.0.113.2 0.0.0.0 63",
         "none"},
    };
    const auto Dotted = [](const uint8_t A[4]) {
        return std::to_string(A[0]) + "." + std::to_string(A[1]) + "." + std::to_string(A[2]) +
               "." + std::to_string(A[3]);
    };
    for (const TCase& C : Cases) {
        std::vector<uint8_t> Control;
        for (const TControlMessage& M : C.Messages) {
            cmsghdr Header{};
            Header.cmsg_level = IPPROTO_IP;
            Header.cmsg_type = M.Type;
            Header.cmsg_len = CMSG_LEN(M.Data.size()) + M.Claim;
            const size_t At = Control.size();
            Control.resize(At + CMSG_SPACE(M.Data.size()));
            std::memcpy(&Control[At], &Header, sizeof Header);
            std::memcpy(&Control[At + CMSG_LEN(0)], M.Data.data(), M.Data.size());
        }
        Control.resize(Control.size() - C.Cut);
        sockaddr_in Name = Address(Target);
        msghdr Received{};
        Received.msg_name = &Name;
        Received.msg_namelen = sizeof Name;
        Received.msg_control = Control.empty() ? nullptr : Control.data();
        Received.msg_controllen = Control.size();

        const TReplyFacts R = ReplyFactsOf(Received);
        EXPECT_EQ(Dotted(R.Source) + " " + Dotted(R.Destination) + " " + std::to_string(R.Ttl),
                  C.Reply)
            << C.Name;
        TErrorFacts E;
        const std::string Error = !ErrorFactsOf(Received, E)
                                      ? "none"
                                      : Dotted(E.Offender) + " " + Dotted(E.Destination) + " " +
                                            std::to_string(E.Ttl) + " " + Dotted(E.Target) + " " +
                                            std::to_string(E.Type) + "/" + std::to_string(E.Code) +
                                            "/" + std::to_string(E.Info);
        EXPECT_EQ(Error, C.Error) << C.Name;
    }
}

// A message whose every other word is 0 once its identifier changes sums to +0, which the
// one's-complement update alone would read as -0 and give it 0 instead of 0xFFFF.
// recvfrom's rule for the sender: as much of its address as the caller's room holds, and the
// address's whole length told back; no room offered, nothing written.
TEST(IcmpDatagramFrames, SenderFillsTheCallersRoomAndTellsItsWholeLength) {
    sockaddr_in6 Sender{};
    Sender.sin6_family = AF_INET6;
    Sender.sin6_addr = in6addr_loopback;
    for (const socklen_t Room : {0U, 2U, 16U, 28U}) {
        SCOPED_TRACE(Room);
        uint8_t Out[sizeof Sender + 1];
        std::memset(Out, 0xEE, sizeof Out);
        socklen_t Length = Room;
        IdPosix::CopyAddress(Sender, reinterpret_cast<sockaddr*>(Out), &Length);
        EXPECT_EQ(Length, sizeof Sender);
        EXPECT_EQ(std::memcmp(Out, &Sender, Room), 0);
        EXPECT_EQ(Out[Room], 0xEE); // not a byte past the room
    }
    socklen_t Length = 5;
    IdPosix::CopyAddress(Sender, nullptr, &Length);
    EXPECT_EQ(Length, 5U);
}

TEST(IcmpDatagramFrames, IdentifierChangeToAMessageOfZerosKeepsAChecksumThatVerifies) {
    for (const size_t Bytes : {8, 13, 52}) {
        std::vector<uint8_t> M(Bytes, 0);
        M[4] = 0x12;
        M[5] = 0x34;
        const uint16_t Sum = InternetChecksum(M);
        M[2] = static_cast<uint8_t>(Sum >> 8);
        M[3] = static_cast<uint8_t>(Sum);
        ReplaceIdentifier(M, TIdentifier{});
        EXPECT_EQ(InternetChecksum(M), 0) << Bytes;
        EXPECT_EQ(Be16(M, 2), 0xFFFF) << Bytes;
    }
}

// The IPv6 side: 2001:db8::2 is us, 2001:db8:1::2 the target, 2001:db8::1 the router.
const uint8_t Us6[16] = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2};
const uint8_t Target6[16] = {0x20, 0x01, 0x0d, 0xb8, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2};
const uint8_t Router6[16] = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};

// A well-formed IPv6 header at AAt: version 6, next header ICMPv6, the given payload
// length, hop limit and addresses.
void ExpectIpv6Header(const std::vector<uint8_t>& D, size_t AAt, size_t APayload, uint8_t AHopLimit,
                      const uint8_t ASource[16], const uint8_t ADestination[16]) {
    EXPECT_EQ(D[AAt], 0x60);
    EXPECT_EQ(Be16(D, AAt + 4), APayload);
    EXPECT_EQ(D[AAt + 6], 58);
    EXPECT_EQ(D[AAt + 7], AHopLimit);
    EXPECT_EQ(std::memcmp(&D[AAt + 8], ASource, 16), 0);
    EXPECT_EQ(std::memcmp(&D[AAt + 24], ADestination, 16), 0);
}

// The ICMPv6 checksum verifies over the pseudo-header of the datagram's own IPv6 header.
bool Icmp6ChecksumVerifies(const std::vector<uint8_t>& D) {
    std::vector<uint8_t> Sum(D.begin() + 8, D.begin() + 40);
    const size_t Length = D.size() - 40;
    const uint8_t Rest[8] = {
        0, 0, static_cast<uint8_t>(Length >> 8), static_cast<uint8_t>(Length), 0, 0, 0, 58};
    Sum.insert(Sum.end(), Rest, Rest + 8);
    Sum.insert(Sum.end(), D.begin() + 40, D.end());
    return InternetChecksum(Sum) == 0;
}

TEST(IcmpDatagramFrames, Ipv6ReplyGetsTheHeaderTheRawSocketsAdapterWrites) {
    for (const TIdentifier Kernel : {Client, OtherKernel, TIdentifier{}}) {
        for (const uint16_t Asked : {Seq, static_cast<uint16_t>(Seq + 1)}) {
            SCOPED_TRACE(std::to_string(Kernel.Bytes[0]) + " asked " + std::to_string(Asked));
            std::vector<uint8_t> D = AfterRoom(Ipv6HeaderBytes, Echo(129, Kernel));
            TMessage6Facts Facts;
            std::memcpy(Facts.Source, Target6, 16);
            std::memcpy(Facts.Destination, Us6, 16);
            Facts.HopLimit = 63;
            FrameMessage6(Facts, D, 52, Kernel, Client);

            ExpectIpv6Header(D, 0, 52, 63, Target6, Us6);
            EXPECT_EQ(InternetChecksum({&D[40], 52}), 0) << "checksum after translation";
            const TDecodedReply R = DecodeEcho6Datagram(D, ClientId, Asked);
            EXPECT_EQ(R.Decision,
                      Asked == Seq ? TReplyDecision::Accepted : TReplyDecision::NotOurs);
            if (Asked == Seq) {
                EXPECT_EQ(R.Status.Kind, rkEchoReply);
                EXPECT_EQ(R.Status.IcmpType, 129);
                EXPECT_EQ(R.Status.SourceAddress, "2001:db8:1::2");
                EXPECT_EQ(R.Status.Ttl, 63);
                EXPECT_EQ(R.Status.ByteCount, 52);
            }
        }
    }
}

TEST(IcmpDatagramFrames, EachIpv6ErrorTypeIsRebuiltAndDecidedAsFromARawSocket) {
    struct TCase {
        const char* Name;
        uint8_t Type, Code;
        uint32_t Info;
        uint8_t Word[4]; // the error header's second word
        TReplyDecision Decision;
        TReplyKind Kind;
    } const Cases[] = {
        {"no route", 1, 0, 0, {0, 0, 0, 0}, TReplyDecision::Accepted, rkUnreachable},
        {"prohibited", 1, 1, 0, {0, 0, 0, 0}, TReplyDecision::Accepted, rkUnreachable},
        {"address unreachable", 1, 3, 0, {0, 0, 0, 0}, TReplyDecision::Accepted, rkUnreachable},
        {"packet too big, MTU 1280",
         2,
         0,
         1280,
         {0, 0, 0x05, 0x00},
         TReplyDecision::Accepted,
         rkUnreachable},
        {"hop limit exceeded", 3, 0, 0, {0, 0, 0, 0}, TReplyDecision::Accepted, rkTtlExpired},
        {"unknown option at byte 40", 4, 2, 40, {0, 0, 0, 40}, TReplyDecision::NonEcho, rkError},
    };
    for (const TIdentifier Kernel : {Client, OtherKernel}) {
        for (const TCase& C : Cases) {
            SCOPED_TRACE(std::string(C.Name) + (Kernel == Client ? "" : ", identifier translated"));
            std::vector<uint8_t> D = AfterRoom(Error6PrefixBytes, Echo(128, Kernel));
            TError6Facts Facts;
            std::memcpy(Facts.Offender, Router6, 16);
            std::memcpy(Facts.Destination, Us6, 16);
            Facts.HopLimit = 64;
            Facts.Type = C.Type;
            Facts.Code = C.Code;
            Facts.Info = C.Info;
            std::memcpy(Facts.Target, Target6, 16);
            Facts.RequestHopLimit = 128;
            Facts.RequestBytes = 52;
            FrameError6(Facts, D, 52, Kernel, Client);

            ASSERT_EQ(D.size(), 140u);
            ExpectIpv6Header(D, 0, 100, 64, Router6, Us6);
            EXPECT_EQ(D[40], C.Type);
            EXPECT_EQ(D[41], C.Code);
            EXPECT_EQ(std::memcmp(&D[44], C.Word, 4), 0) << "second word";
            EXPECT_TRUE(Icmp6ChecksumVerifies(D)) << "error message checksum";
            ExpectIpv6Header(D, 48, 52, 128, Us6, Target6);
            EXPECT_EQ(InternetChecksum({&D[88], 52}), 0) << "quoted request checksum";

            const TDecodedReply R = DecodeEcho6Datagram(D, ClientId, Seq);
            EXPECT_EQ(R.Decision, C.Decision);
            if (C.Decision == TReplyDecision::Accepted) {
                EXPECT_EQ(R.Status.Kind, C.Kind);
                EXPECT_EQ(R.Status.IcmpType, C.Type);
                EXPECT_EQ(R.Status.SourceAddress, "2001:db8::1");
                EXPECT_EQ(R.Status.Ttl, 64);
                EXPECT_EQ(R.Status.ByteCount, 100);
            }
            // The IPv6 decoder passes by another exchange's message of any type.
            EXPECT_EQ(DecodeEcho6Datagram(D, ClientId, Seq + 1).Decision, TReplyDecision::NotOurs);
        }
    }
}

} // namespace
