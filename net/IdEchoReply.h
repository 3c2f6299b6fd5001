#pragma once
// The outcome of one echo exchange, and the decoder that reads it from a received datagram.
#include "net/IdAddressText.h"

#include <cstdint>
#include <span>
#include <string>

// The ICMP message types the echo exchange writes, reads or hands on.
namespace IcmpType {
inline constexpr uint8_t EchoReply = 0;
inline constexpr uint8_t Unreachable = 3;
inline constexpr uint8_t SourceQuench = 4;
inline constexpr uint8_t Redirect = 5;
inline constexpr uint8_t EchoRequest = 8;
inline constexpr uint8_t TimeExceeded = 11;
inline constexpr uint8_t ParameterProblem = 12;
} // namespace IcmpType

// The ICMPv6 message types the echo exchange writes or reads. Types below 128 are errors.
namespace Icmp6Type {
inline constexpr uint8_t Unreachable = 1;
inline constexpr uint8_t PacketTooBig = 2;
inline constexpr uint8_t TimeExceeded = 3;
inline constexpr uint8_t ParameterProblem = 4;
inline constexpr uint8_t EchoRequest = 128;
inline constexpr uint8_t EchoReply = 129;
} // namespace Icmp6Type

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

// Decides one ICMPv6 message as a raw ICMPv6 socket delivers it: the message alone, with no
// IP header, its sender and hop limit known only from the receive call, so they come as
// arguments. An echo reply must carry the request's identifier and sequence, an error must
// quote the IPv6 header of our request and its echo header with them; anything else is
// another program's and NotOurs, and a message shorter than an ICMPv6 header TooShort. The
// status reads as its IPv4 counterpart's:
//   echo reply (129)                          rkEchoReply
//   destination unreachable (1), any code     rkUnreachable, as IPv4's unreachable
//   packet too big (2)                        rkUnreachable, as IPv4's "fragmentation needed"
//   time exceeded (3), either code            rkTtlExpired
//   parameter problem (4), other error types  NonEcho, as IPv4's parameter problem
//   informational types but 129               NotOurs: neighbour discovery and the rest pass
//                                             by, and our own request looped back is not
//                                             the answer
// The source is the address text with its zone, the TTL the hop limit, the byte count the
// message's own bytes. An empty message is the time-out, from "::".
TDecodedReply DecodeEcho6Reply(std::span<const uint8_t> AMessage, const TIp6Address& ASource,
                               uint8_t AHopLimit, uint16_t AIdentifier, uint16_t ASequence);

// Decides one ICMPv6 datagram as this program's IPv6 sockets deliver it: an IPv6 header
// (net/IcmpFrames.h) in front of the message, giving its sender and hop limit, then as
// DecodeEcho6Reply. An empty datagram is the time-out; one too short for that header and an
// ICMPv6 header TooShort.
TDecodedReply DecodeEcho6Datagram(std::span<const uint8_t> ADatagram, uint16_t AIdentifier,
                                  uint16_t ASequence);

// The status of an exchange that received no answer for the sequence in time.
TReplyStatus TimedOutStatus(uint16_t ASequence);
