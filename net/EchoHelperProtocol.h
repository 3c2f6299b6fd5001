#pragma once
// What the window's process and the helper that keeps the raw-socket privilege say to each
// other. The helper does one narrow thing: it sends one ICMP echo request that it has checked,
// from its own raw socket, and hands back only the messages that answer it, in the bytes the
// raw socket read. It never hands out a descriptor. Code that gets into the window's process
// (a library the desktop loads, say) can then do no more than ping, which an ordinary user
// with ping sockets can do anyway: no other ICMP type, no IP header of its own, no forged
// source. Bytes only, so that both sides and a fuzzer share the checks.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <span>

namespace EchoHelper {

// The largest echo request the helper sends: the client's own is 52 bytes.
inline constexpr size_t MaxEchoBytes = 256;
// The most of one answering message handed back; an error quotes at most 576 bytes.
inline constexpr size_t MaxMessageBytes = 2048;

// A request has this fixed layout and size, in the machine's own byte order (both ends run
// on the same machine). A message of any other size is refused.
struct TRequest {
    uint32_t Tag = 0;    // comes back with the answer to this request
    uint8_t Family = 0;  // 4: an IPv4 destination in the first 4 bytes of Address; 6: an IPv6
                         // one in all 16
    uint8_t Ttl = 0;     // TTL or hop limit, 1..255; 0 for the system's default
    uint16_t Length = 0; // of Echo, 8..MaxEchoBytes
    uint8_t Address[16] = {};
    uint32_t ScopeId = 0; // IPv6: the interface of a link-local destination; 0 for none
    uint8_t Echo[MaxEchoBytes] = {};
};
static_assert(sizeof(TRequest) == 4 + 4 + 16 + 4 + MaxEchoBytes);

enum class TAnswerKind : uint8_t {
    Sent = 1,    // the request's outcome: Error is 0, or the errno of the refusal or the send
    Message = 2, // a message answering the request of Tag follows the header
};

struct TAnswerHeader {
    TAnswerKind Kind = TAnswerKind::Sent;
    uint8_t Reserved[3] = {};
    uint32_t Tag = 0;
    int32_t Error = 0;
};
static_assert(sizeof(TAnswerHeader) == 12);

// The helper's refusals, each its own errno so a caller can tell them from the send's own.
inline constexpr int RefusedMalformed = EBADMSG; // wrong size, family or length
inline constexpr int RefusedNotEcho = ENOMSG;    // anything but an echo request of code 0 of
                                                 // the request's family (8, or 128 for IPv6)

// 0 when AMessage is a request the helper may send, copied into ARequest; otherwise the
// refusal. AMessage is what arrived, however long.
int CheckRequest(std::span<const uint8_t> AMessage, TRequest& ARequest);

// True when ADatagram, as a raw IPv4 ICMP socket reads it (IP header first), answers
// ARequest: an echo reply with its identifier and sequence; an ICMP error (unreachable,
// source quench, redirect, time exceeded, parameter problem) that quotes it whole enough to
// show its destination, identifier and sequence; or, on loopback, the request itself.
bool Answers(const TRequest& ARequest, std::span<const uint8_t> ADatagram);

// True when AMessage, as a raw ICMPv6 socket reads it (no IP header), answers ARequest, an
// IPv6 request (Family 6, its destination all 16 bytes of Address): an echo reply with its
// identifier and sequence, or an ICMPv6 error (unreachable, packet too big, time exceeded,
// parameter problem) that quotes its IPv6 header, with its destination, and its echo header.
// The request itself is never handed back: the helper's filter keeps it off the socket, and
// the client does not take it for the answer.
bool AnswersV6(const TRequest& ARequest, std::span<const uint8_t> AMessage);

} // namespace EchoHelper
