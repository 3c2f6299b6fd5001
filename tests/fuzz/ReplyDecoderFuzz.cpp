// The reply decoder on arbitrary datagrams, without any socket: the first four input bytes
// are the request's identifier and sequence, the rest is the datagram.
#include "net/IdEchoReply.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    if (ASize < 4) {
        return 0;
    }
    const auto Identifier = static_cast<uint16_t>(AData[0] | (AData[1] << 8));
    const auto Sequence = static_cast<uint16_t>(AData[2] | (AData[3] << 8));
    const std::span<const uint8_t> Datagram(AData + 4, ASize - 4);
    const TDecodedReply Reply = DecodeEchoReply(Datagram, Identifier, Sequence);
    if (Reply.Decision != TReplyDecision::Accepted) {
        return 0;
    }
    const TReplyStatus& S = Reply.Status;
    if (S.Sequence != Sequence) {
        __builtin_trap();
    }
    if (Datagram.empty()) {
        if (S.Kind != rkTimedOut || S.ByteCount != 0) {
            __builtin_trap();
        }
        return 0;
    }
    if ((S.Kind != rkEchoReply && S.Kind != rkUnreachable && S.Kind != rkTtlExpired) ||
        S.ByteCount != static_cast<int32_t>(Datagram.size()) || S.SourceAddress.size() < 7 ||
        S.SourceAddress.size() > 15) {
        __builtin_trap();
    }
    return 0;
}
