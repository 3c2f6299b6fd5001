#include "net/IdEchoReply.h"

#include "net/IdAddressText.h"

#include <cstring>

namespace {
constexpr size_t IcmpHeaderSize = 8;
constexpr size_t MinIpHeaderSize = 20;

// A header length field that claims less than the datagram holds can point the fixed
// fields (source address, TTL) past its end; they read as zero there.
uint8_t ByteAt(std::span<const uint8_t> ABytes, size_t AIndex) {
    return AIndex < ABytes.size() ? ABytes[AIndex] : 0;
}

// Identifier and sequence travel least significant byte first.
uint16_t ReadLe16(std::span<const uint8_t> ABytes, size_t AIndex) {
    return static_cast<uint16_t>(ByteAt(ABytes, AIndex) | (ByteAt(ABytes, AIndex + 1) << 8));
}

size_t HeaderLength(uint8_t AVersionIhl) {
    return static_cast<size_t>(AVersionIhl & 0x0F) * 4;
}

// Where the echo header that must carry our identifier and sequence starts: the message
// itself for the echo types; for an error message, the request it quotes, which must be an
// echo request lying wholly inside the datagram. false when there is none.
bool FindEchoHeader(std::span<const uint8_t> ADatagram, size_t AHeader, TReplyKind AKind,
                    size_t& AEcho) {
    if (AKind == rkEchoReply) {
        AEcho = AHeader;
        return true;
    }
    const size_t Quoted = AHeader + IcmpHeaderSize;
    if (ADatagram.size() < Quoted + MinIpHeaderSize) {
        return false;
    }
    const size_t QuotedHeader = HeaderLength(ADatagram[Quoted]);
    const size_t Icmp = Quoted + QuotedHeader;
    if (QuotedHeader < MinIpHeaderSize || ADatagram.size() < Icmp + IcmpHeaderSize ||
        ADatagram[Icmp] != IcmpType::EchoRequest) {
        return false;
    }
    AEcho = Icmp;
    return true;
}
constexpr size_t Ip6HeaderSize = 40;
constexpr uint8_t NextHeaderIcmp6 = 58;

// Where the echo header of the request an ICMPv6 error quotes starts, or 0 where the quote
// holds no whole echo request: an IPv6 header whose next header is ICMPv6 and an echo
// request after it. Our requests carry no extension headers, so one in the quote means
// another program's packet.
size_t QuotedEcho6(std::span<const uint8_t> AMessage) {
    const size_t Quoted = IcmpHeaderSize;
    const size_t Echo = Quoted + Ip6HeaderSize;
    if (AMessage.size() < Echo + IcmpHeaderSize || (AMessage[Quoted] >> 4) != 6 ||
        AMessage[Quoted + 6] != NextHeaderIcmp6 || AMessage[Echo] != Icmp6Type::EchoRequest) {
        return 0;
    }
    return Echo;
}
} // namespace

TReplyStatus TimedOutStatus(uint16_t ASequence) {
    TReplyStatus Status;
    Status.SourceAddress = "0.0.0.0";
    Status.Sequence = ASequence;
    Status.Kind = rkTimedOut;
    return Status;
}

TDecodedReply DecodeEchoReply(std::span<const uint8_t> ADatagram, uint16_t AIdentifier,
                              uint16_t ASequence) {
    TDecodedReply Result;
    if (ADatagram.empty()) {
        Result.Decision = TReplyDecision::Accepted;
        Result.Status = TimedOutStatus(ASequence);
        return Result;
    }
    const size_t H = HeaderLength(ADatagram[0]);
    if (ADatagram.size() < H + IcmpHeaderSize) {
        Result.Decision = TReplyDecision::TooShort;
        return Result;
    }
    TReplyStatus& Status = Result.Status;
    const uint8_t Type = ADatagram[H];
    switch (Type) {
    case IcmpType::EchoReply:
    case IcmpType::EchoRequest:
        Status.Kind = rkEchoReply;
        break;
    case IcmpType::Unreachable:
        Status.Kind = rkUnreachable;
        break;
    case IcmpType::TimeExceeded:
        Status.Kind = rkTtlExpired;
        break;
    default:
        Result.Decision = TReplyDecision::NonEcho;
        return Result;
    }
    // Other programs' pings and their errors arrive on every raw socket: the identifier
    // tells ours apart.
    size_t Echo = 0;
    if (!FindEchoHeader(ADatagram, H, Status.Kind, Echo) ||
        ReadLe16(ADatagram, Echo + 4) != AIdentifier ||
        ReadLe16(ADatagram, Echo + 6) != ASequence) {
        Result.Decision = TReplyDecision::NotOurs;
        return Result;
    }
    Result.Decision = TReplyDecision::Accepted;
    Status.ByteCount = static_cast<int32_t>(ADatagram.size());
    const uint8_t Source[4] = {ByteAt(ADatagram, 12), ByteAt(ADatagram, 13), ByteAt(ADatagram, 14),
                               ByteAt(ADatagram, 15)};
    Status.SourceAddress = DottedText(Source);
    Status.IcmpType = Type;
    Status.Sequence = ASequence;
    Status.Ttl = ByteAt(ADatagram, 8);
    return Result;
}

TDecodedReply DecodeEcho6Reply(std::span<const uint8_t> AMessage, const TIp6Address& ASource,
                               uint8_t AHopLimit, uint16_t AIdentifier, uint16_t ASequence) {
    TDecodedReply Result;
    if (AMessage.empty()) {
        Result.Decision = TReplyDecision::Accepted;
        Result.Status = TimedOutStatus(ASequence);
        Result.Status.SourceAddress = "::";
        return Result;
    }
    if (AMessage.size() < IcmpHeaderSize) {
        Result.Decision = TReplyDecision::TooShort;
        return Result;
    }
    const uint8_t Type = AMessage[0];
    size_t Echo = 0;
    if (Type < Icmp6Type::EchoRequest) {
        Echo = QuotedEcho6(AMessage);
        if (Echo == 0) {
            return Result;
        }
    } else if (Type != Icmp6Type::EchoReply) {
        return Result;
    }
    // The same byte order as the IPv4 request, whose identifier and sequence the client
    // writes identically for both families.
    if (ReadLe16(AMessage, Echo + 4) != AIdentifier || ReadLe16(AMessage, Echo + 6) != ASequence) {
        return Result;
    }
    TReplyStatus& Status = Result.Status;
    switch (Type) {
    case Icmp6Type::EchoReply:
        Status.Kind = rkEchoReply;
        break;
    case Icmp6Type::Unreachable:
    case Icmp6Type::PacketTooBig:
        Status.Kind = rkUnreachable;
        break;
    case Icmp6Type::TimeExceeded:
        Status.Kind = rkTtlExpired;
        break;
    default:
        Result.Decision = TReplyDecision::NonEcho;
        return Result;
    }
    Result.Decision = TReplyDecision::Accepted;
    Status.ByteCount = static_cast<int32_t>(AMessage.size());
    Status.SourceAddress = Ip6Text(ASource);
    Status.IcmpType = Type;
    Status.Sequence = ASequence;
    Status.Ttl = AHopLimit;
    return Result;
}

TDecodedReply DecodeEcho6Datagram(std::span<const uint8_t> ADatagram, uint16_t AIdentifier,
                                  uint16_t ASequence) {
    constexpr size_t HeaderBytes = 40;
    if (ADatagram.empty()) {
        return DecodeEcho6Reply(ADatagram, TIp6Address{}, 0, AIdentifier, ASequence);
    }
    // A header with no message after it is not the empty datagram of a time-out.
    if (ADatagram.size() < HeaderBytes + IcmpHeaderSize) {
        TDecodedReply Result;
        Result.Decision = TReplyDecision::TooShort;
        return Result;
    }
    TIp6Address Source;
    std::memcpy(Source.Bytes, &ADatagram[8], sizeof Source.Bytes);
    return DecodeEcho6Reply(ADatagram.subspan(HeaderBytes), Source, ADatagram[7], AIdentifier,
                            ASequence);
}
