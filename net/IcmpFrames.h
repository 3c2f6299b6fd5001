#pragma once
// What a way of pinging other than a raw ICMP socket leaves out, put back: the IPv4 header in
// front of an echo reply, and the whole error message around the part of our request that an
// ICMP error quotes. The result is what a raw ICMP socket would have read, so one decoder
// serves every way. Plain functions over bytes, so that they can be driven without a socket;
// each platform gathers the facts they take in its own way: posix/IcmpDatagramControl.h from
// what Linux's datagram socket hands over, IcmpApiFrames.h from what Windows' ICMP API
// reports.
#include <cstddef>
#include <cstdint>
#include <span>

namespace IcmpFrames {

inline constexpr size_t Ipv4HeaderBytes = 20;
// ICMPv6 sockets read no IP header at all; every way of pinging over IPv6 puts this one in
// front of the message, so that the sender and hop limit travel with it as they do in IPv4.
inline constexpr size_t Ipv6HeaderBytes = 40;
inline constexpr size_t IcmpHeaderBytes = 8;
// An error datagram up to the quoted request's ICMP header: outer IPv4 header, ICMP error
// header, quoted IPv4 header.
inline constexpr size_t ErrorPrefixBytes = Ipv4HeaderBytes + IcmpHeaderBytes + Ipv4HeaderBytes;
// The same for ICMPv6: outer IPv6 header, ICMPv6 error header, quoted IPv6 header.
inline constexpr size_t Error6PrefixBytes = Ipv6HeaderBytes + IcmpHeaderBytes + Ipv6HeaderBytes;

// An echo identifier as its two bytes travel.
struct TIdentifier {
    uint8_t Bytes[2] = {0, 0};
    friend bool operator==(const TIdentifier&, const TIdentifier&) = default;
};

// What is known of an echo reply besides the ICMP message itself.
struct TReplyFacts {
    uint8_t Source[4] = {};      // who replied
    uint8_t Destination[4] = {}; // our address the reply came to; 0 where nobody tells
    uint8_t Ttl = 0;             // the reply's TTL as it arrived
};

// What is known of an ICMP error besides the part of our request it quotes.
struct TErrorFacts {
    uint8_t Offender[4] = {};    // who sent the error
    uint8_t Destination[4] = {}; // our address it came to; 0 where nobody tells
    uint8_t Ttl = 0;             // the error's TTL as it arrived
    uint8_t Type = 0;            // the error's ICMP type
    uint8_t Code = 0;            // and code
    uint32_t Info = 0;           // the pointer, next-hop MTU or gateway that the type carries
    uint8_t Target[4] = {};      // where our request went
    uint8_t RequestTtl = 0;      // the TTL our request left with
    uint16_t RequestBytes = 0;   // the ICMP bytes of our request as sent
};

// What is known of an ICMPv6 message besides the message itself.
struct TMessage6Facts {
    uint8_t Source[16] = {};      // who sent it: the replying or the complaining node
    uint8_t Destination[16] = {}; // our address it came to; 0 where nobody tells
    uint8_t HopLimit = 0;         // its hop limit as it arrived
};

// What is known of an ICMPv6 error besides the part of our request it quotes.
struct TError6Facts {
    uint8_t Offender[16] = {};    // who sent the error
    uint8_t Destination[16] = {}; // our address it came to; 0 where nobody tells
    uint8_t HopLimit = 0;         // the error's hop limit as it arrived
    uint8_t Type = 0;             // the error's ICMPv6 type
    uint8_t Code = 0;             // and code
    uint32_t Info = 0;            // the MTU (packet too big) or pointer (parameter problem)
    uint8_t Target[16] = {};      // where our request went
    uint8_t RequestHopLimit = 0;  // the hop limit our request left with
    uint16_t RequestBytes = 0;    // the ICMPv6 bytes of our request as sent
};

// Internet checksum (RFC 1071) of the bytes as big-endian words, to be stored big-endian.
uint16_t InternetChecksum(std::span<const uint8_t> ABytes);

// Writes AIdentifier into the echo header at the start of AEcho and mends its checksum for
// the change, without summing the message again. Bytes that the span does not hold (a
// message cut short) are left alone.
void ReplaceIdentifier(std::span<uint8_t> AEcho, TIdentifier AIdentifier);

// ADatagram holds the reply's ICMP message, AIcmpBytes long, from offset 20 on. Writes the
// IPv4 header in front; the identifier becomes AClient where the one that travelled,
// AKernel, differs from it (Linux's datagram socket writes its own).
void FrameReply(const TReplyFacts& AFacts, std::span<uint8_t> ADatagram, size_t AIcmpBytes,
                TIdentifier AKernel, TIdentifier AClient);

// ADatagram holds an ICMPv6 message, AIcmpBytes long, from offset Ipv6HeaderBytes on. Writes
// the IPv6 header in front (next header ICMPv6); the identifier of an echo reply becomes
// AClient where the one that travelled, AKernel, differs from it.
void FrameMessage6(const TMessage6Facts& AFacts, std::span<uint8_t> ADatagram, size_t AIcmpBytes,
                   TIdentifier AKernel, TIdentifier AClient);

// ADatagram holds the quoted part of our request (its ICMP header first) from offset
// ErrorPrefixBytes on, AQuotedBytes of it. Writes the outer IPv4 header, the ICMP error
// header and the quoted IPv4 header in front, each with its checksum, the identifier
// translated as for a reply.
void FrameError(const TErrorFacts& AFacts, std::span<uint8_t> ADatagram, size_t AQuotedBytes,
                TIdentifier AKernel, TIdentifier AClient);

// ADatagram holds the quoted part of our request (its ICMPv6 header first) from offset
// Error6PrefixBytes on, AQuotedBytes of it. Writes the outer IPv6 header, the ICMPv6 error
// header with its checksum over the IPv6 pseudo-header, and the quoted IPv6 header in front,
// the identifier translated as for a reply.
void FrameError6(const TError6Facts& AFacts, std::span<uint8_t> ADatagram, size_t AQuotedBytes,
                 TIdentifier AKernel, TIdentifier AClient);

} // namespace IcmpFrames
