// The ICMPv6 reply decoder on arbitrary messages, without any socket: the first four input
// bytes are the request's identifier and sequence, the next one the hop limit, the next
// sixteen the sender, the rest the message. The raw-socket helper's check on the same message
// agrees with the decoder: it hands back nothing the client would ignore, and withholds
// nothing the client would take that quotes a request to that address.
#include "net/EchoHelperProtocol.h"
#include "net/IdEchoReply.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace {
constexpr size_t FactBytes = 4 + 1 + 16;

uint16_t Le16(const uint8_t* AData) {
    return static_cast<uint16_t>(AData[0] | (AData[1] << 8));
}

// The helper's request for the same exchange, sent to ATarget.
EchoHelper::TRequest HelperRequest(const uint8_t* AIdAndSequence, const uint8_t* ATarget) {
    EchoHelper::TRequest Request;
    Request.Family = 6;
    Request.Length = 8;
    std::memcpy(Request.Address, ATarget, 16);
    Request.Echo[0] = 128;
    std::memcpy(Request.Echo + 4, AIdAndSequence, 4);
    return Request;
}

// An error's quoted request went to ATarget as an echo request of code 0.
bool QuotesRequestTo(std::span<const uint8_t> AMessage, const uint8_t* ATarget) {
    return AMessage.size() >= 8 + 40 + 8 && std::memcmp(&AMessage[8 + 24], ATarget, 16) == 0 &&
           AMessage[8 + 40 + 1] == 0;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    if (ASize < FactBytes) {
        return 0;
    }
    const uint16_t Identifier = Le16(AData);
    const uint16_t Sequence = Le16(AData + 2);
    const uint8_t HopLimit = AData[4];
    TIp6Address Source;
    std::memcpy(Source.Bytes, AData + 5, 16);
    const std::span<const uint8_t> Message(AData + FactBytes, ASize - FactBytes);
    const TDecodedReply Reply = DecodeEcho6Reply(Message, Source, HopLimit, Identifier, Sequence);
    const bool Handed = EchoHelper::AnswersV6(HelperRequest(AData, AData + 5), Message);
    const bool Taken = Reply.Decision == TReplyDecision::Accepted && !Message.empty();
    // A parameter problem is handed back for the client to show as a non-echo answer.
    if (Handed && !Taken && (Reply.Decision != TReplyDecision::NonEcho || Message[0] != 4)) {
        __builtin_trap();
    }
    if (Taken && !Handed && (Message[0] == 129 || QuotesRequestTo(Message, AData + 5))) {
        __builtin_trap();
    }
    if (Message.size() >= 8 && Reply.Decision == TReplyDecision::TooShort) {
        __builtin_trap();
    }
    if (Reply.Decision != TReplyDecision::Accepted) {
        return 0;
    }
    const TReplyStatus& S = Reply.Status;
    if (S.Sequence != Sequence) {
        __builtin_trap();
    }
    if (Message.empty()) {
        if (S.Kind != rkTimedOut || S.ByteCount != 0) {
            __builtin_trap();
        }
        return 0;
    }
    // An accepted message carries our identifier and sequence where its type puts the echo:
    // in itself for a reply, after the error header and the quoted IPv6 header for an error.
    const size_t Echo = Message[0] == 129 ? 0 : 8 + 40;
    if (S.ByteCount != static_cast<int32_t>(Message.size()) || S.Ttl != HopLimit ||
        S.IcmpType != Message[0] || S.SourceAddress != Ip6Text(Source) ||
        Message.size() < Echo + 8 || Le16(&Message[Echo + 4]) != Identifier ||
        Le16(&Message[Echo + 6]) != Sequence) {
        __builtin_trap();
    }
    if ((S.Kind == rkEchoReply) != (Message[0] == 129) ||
        (S.Kind == rkTtlExpired) != (Message[0] == 3) ||
        (S.Kind == rkUnreachable) != (Message[0] == 1 || Message[0] == 2)) {
        __builtin_trap();
    }
    return 0;
}
