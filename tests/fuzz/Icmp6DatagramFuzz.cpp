// The ICMPv6 datagram socket's receive path from the point where recvmsg has returned, as
// IcmpDatagramFuzz.cpp drives the IPv4 one: fuzzed control messages, address and message
// bytes are read into the facts of a message or of an error-queue record with its offender,
// framed into what the raw ICMPv6 socket's adapter delivers, and handed to the decoder. The
// frames must come out well formed whatever came in.
//
// Input: [0] bit 0: an error-queue entry, else a message; [1..2] the kernel's identifier,
// [3..4] the client's; [5] the request's hop limit, [6..7] its length; [8] the address's
// length (up to 28), [9..36] its bytes; [37] how many control messages (up to 3), [38] how
// many bytes the kernel cut from the end of the control part. Then each control message:
// [0] its kind (0 hop limit, 1 our address, 2 the error record, any other value itself as
// level and type), [1] what its length claims beyond its data (signed), [2] its data's
// length (up to 63), then the data. The rest is the message, or the quoted request.
#include "net/IdEchoReply.h"
#include "net/posix/IcmpDatagramControl.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <netinet/in.h>
#include <span>
#include <vector>

namespace {
using namespace IcmpFrames;
using namespace IdPosix;

constexpr size_t NameAt = 9, NameMax = 28, CountAt = NameAt + NameMax, FixedBytes = CountAt + 2;

std::vector<uint8_t> ControlPart(const uint8_t* AData, size_t ASize, size_t& AAt) {
    std::vector<uint8_t> Control;
    for (int Left = AData[CountAt] & 3; Left > 0 && AAt + 3 <= ASize; --Left) {
        const uint8_t Kind = AData[AAt];
        const auto Claim = static_cast<int8_t>(AData[AAt + 1]);
        const size_t Bytes = std::min<size_t>(AData[AAt + 2] & 63, ASize - AAt - 3);
        AAt += 3;
        cmsghdr Header{};
        Header.cmsg_level = Kind < 3 ? IPPROTO_IPV6 : Kind;
        Header.cmsg_type = Kind == 0   ? IPV6_HOPLIMIT
                           : Kind == 1 ? IPV6_PKTINFO
                           : Kind == 2 ? IPV6_RECVERR
                                       : Kind;
        Header.cmsg_len = static_cast<size_t>(static_cast<ptrdiff_t>(CMSG_LEN(Bytes)) + Claim);
        const size_t At = Control.size();
        Control.resize(At + CMSG_SPACE(Bytes));
        std::memcpy(&Control[At], &Header, sizeof Header);
        std::memcpy(&Control[At + CMSG_LEN(0)], AData + AAt, Bytes);
        AAt += Bytes;
    }
    Control.resize(Control.size() - std::min<size_t>(AData[CountAt + 1], Control.size()));
    return Control;
}

void Check(bool ACondition) {
    if (!ACondition) {
        __builtin_trap();
    }
}

uint16_t Be16(const std::vector<uint8_t>& D, size_t AAt) {
    return static_cast<uint16_t>((D[AAt] << 8) | D[AAt + 1]);
}

// A header the framing wrote: version 6, next header ICMPv6, this payload length as far as
// 16 bits hold it, and these addresses.
void CheckIpv6Header(const std::vector<uint8_t>& D, size_t AAt, size_t APayload,
                     const uint8_t ASource[16], const uint8_t ADestination[16]) {
    Check(D[AAt] == 0x60 && D[AAt + 6] == 58);
    Check(Be16(D, AAt + 4) == std::min<size_t>(APayload, 0xFFFF));
    Check(std::memcmp(&D[AAt + 8], ASource, 16) == 0);
    Check(std::memcmp(&D[AAt + 24], ADestination, 16) == 0);
}

// The error message's checksum verifies over its pseudo-header, where its length is one
// that 32 bits hold.
void CheckIcmp6Checksum(const std::vector<uint8_t>& D) {
    std::vector<uint8_t> Sum(D.begin() + 8, D.begin() + 40);
    const auto Length = static_cast<uint32_t>(D.size() - 40);
    const uint8_t Rest[8] = {static_cast<uint8_t>(Length >> 24),
                             static_cast<uint8_t>(Length >> 16),
                             static_cast<uint8_t>(Length >> 8),
                             static_cast<uint8_t>(Length),
                             0,
                             0,
                             0,
                             58};
    Sum.insert(Sum.end(), Rest, Rest + 8);
    Sum.insert(Sum.end(), D.begin() + 40, D.end());
    Check(InternetChecksum(Sum) == 0);
}

void CheckTranslation(std::span<const uint8_t> ABefore, std::span<const uint8_t> AAfter,
                      bool ATranslated, TIdentifier AClient) {
    if (!ATranslated) {
        Check(std::equal(ABefore.begin(), ABefore.end(), AAfter.begin(), AAfter.end()));
        return;
    }
    for (size_t I = 4; I < std::min<size_t>(AAfter.size(), 6); ++I) {
        Check(AAfter[I] == AClient.Bytes[I - 4]);
    }
    if (ABefore.size() >= IcmpHeaderBytes && InternetChecksum(ABefore) == 0) {
        Check(InternetChecksum(AAfter) == 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    if (ASize < FixedBytes) {
        return 0;
    }
    const bool IsError = (AData[0] & 1) != 0;
    const TIdentifier Kernel{{AData[1], AData[2]}};
    const TIdentifier Client{{AData[3], AData[4]}};
    const uint8_t RequestHopLimit = AData[5];
    const auto RequestBytes = static_cast<uint16_t>((AData[6] << 8) | AData[7]);
    std::vector<uint8_t> Name(AData + NameAt, AData + NameAt + std::min<size_t>(AData[8], NameMax));
    size_t At = FixedBytes;
    const std::vector<uint8_t> Laid = ControlPart(AData, ASize, At);
    const std::span<const uint8_t> Message(AData + At, ASize - At);

    msghdr Received{};
    Received.msg_name = Name.empty() ? nullptr : Name.data();
    Received.msg_namelen = static_cast<socklen_t>(Name.size());
    std::vector<uint8_t> Control(Laid);
    Received.msg_control = Control.empty() ? nullptr : Control.data();
    Received.msg_controllen = Control.size();
    for (const int Type : {IPV6_HOPLIMIT, IPV6_PKTINFO, IPV6_RECVERR}) {
        const auto Data = ControlData(Received, IPPROTO_IPV6, Type);
        Check(Data.empty() || (Data.data() >= Control.data() &&
                               Data.data() + Data.size() <= Control.data() + Control.size()));
    }

    const size_t Prefix = IsError ? Error6PrefixBytes : Ipv6HeaderBytes;
    std::vector<uint8_t> D(Prefix, 0xCC);
    D.insert(D.end(), Message.begin(), Message.end());
    if (IsError) {
        TError6Facts Facts;
        if (!Error6FactsOf(Received, Facts)) {
            return 0;
        }
        Facts.RequestHopLimit = RequestHopLimit;
        Facts.RequestBytes = RequestBytes;
        FrameError6(Facts, D, Message.size(), Kernel, Client);
        CheckIpv6Header(D, 0, D.size() - Ipv6HeaderBytes, Facts.Offender, Facts.Destination);
        Check(D[7] == Facts.HopLimit && D[40] == Facts.Type && D[41] == Facts.Code);
        CheckIcmp6Checksum(D);
        CheckIpv6Header(D, Ipv6HeaderBytes + IcmpHeaderBytes, RequestBytes, Facts.Destination,
                        Facts.Target);
        Check(D[Ipv6HeaderBytes + IcmpHeaderBytes + 7] == RequestHopLimit);
        CheckTranslation(Message, std::span(D).subspan(Error6PrefixBytes), Kernel != Client,
                         Client);
    } else {
        const TMessage6Facts Facts = Message6FactsOf(Received);
        FrameMessage6(Facts, D, Message.size(), Kernel, Client);
        CheckIpv6Header(D, 0, Message.size(), Facts.Source, Facts.Destination);
        Check(D[7] == Facts.HopLimit);
        // Only an echo reply carries the identifier that the kernel rewrote.
        CheckTranslation(Message, std::span(D).subspan(Ipv6HeaderBytes),
                         Kernel != Client && !Message.empty() && Message[0] == 129, Client);
    }

    const auto Identifier = static_cast<uint16_t>(Client.Bytes[0] | (Client.Bytes[1] << 8));
    const auto Sequence =
        D.size() >= Prefix + 8 ? static_cast<uint16_t>(D[Prefix + 6] | (D[Prefix + 7] << 8)) : 0;
    const TDecodedReply Reply = DecodeEcho6Datagram(D, Identifier, Sequence);
    if (Reply.Decision == TReplyDecision::Accepted) {
        Check(Reply.Status.ByteCount == static_cast<int32_t>(D.size() - Ipv6HeaderBytes));
        Check(Reply.Status.Ttl == D[7]);
    }
    return 0;
}
