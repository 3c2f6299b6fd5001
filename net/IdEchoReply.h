#pragma once
// The outcome of one echo exchange, and the decoder that reads it from a received datagram.
#include <cstdint>
#include <span>
#include <string>

// The ICMP message types the echo exchange writes, reads or hands on.
namespace IcmpType {
inline constexpr uint8_t EchoReply = 0;
inline constexpr uint8_t Unreachable = 3;
inline constexpr uint8_t Redirect = 5;
inline constexpr uint8_t EchoRequest = 8;
inline constexpr uint8_t TimeExceeded = 11;
inline constexpr uint8_t ParameterProblem = 12;
} // namespace IcmpType

enum TReplyKind : uint8_t {
    rkEchoReply = 0,
    rkError = 1,
    rkTimedOut = 2,
    rkUnreachable = 3,
    rkTtlExpired = 4,
};

struct TReplyStatus {
    int32_t ByteCount = 0;
    std::string SourceAddress;
    uint8_t IcmpType = 0;
    uint16_t Sequence = 0;
    uint32_t RoundTripMs = 0;
    uint8_t Ttl = 0;
    TReplyKind Kind = rkEchoReply;
};

enum class TReplyDecision : uint8_t {
    Accepted, // the status holds the answer (or the time-out, for an empty datagram)
    NotOurs,  // another program's echo or error: keep waiting
    TooShort, // shorter than its IP header and an ICMP header
    NonEcho,  // an ICMP type that answers no echo request
};

struct TDecodedReply {
    TReplyDecision Decision = TReplyDecision::NotOurs;
    TReplyStatus Status;
};

// Decides one datagram as a raw ICMP socket delivers it (IPv4 header first) against the
// request's identifier and sequence. An empty datagram means nothing arrived: a time-out.
// Depends on nothing but its arguments, so it can be driven without any socket.
TDecodedReply DecodeEchoReply(std::span<const uint8_t> ADatagram, uint16_t AIdentifier,
                              uint16_t ASequence);

// The status of an exchange that received no answer for the sequence in time.
TReplyStatus TimedOutStatus(uint16_t ASequence);
