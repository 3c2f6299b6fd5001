#include "net/IdEchoReply.h"

#include "net/IdAddressText.h"

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
