#pragma once
// What Windows' ICMP API (IcmpSendEcho2, Icmp6SendEcho2) reports for one echo, turned into
// what the raw socket it stands in for would have read. Plain numbers and bytes, the API's
// codes spelled out here, so that it builds and is tested on every platform;
// win/IcmpApiWin.cpp checks each code against the system's headers.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace IcmpApi {

// IcmpSendEcho2's statuses (ipexport.h's IP_*), and the errors it leaves in GetLastError()
// when it reports none. Windows' headers define the plain names as macros, hence the prefix.
inline constexpr uint32_t Id_IP_SUCCESS = 0;
inline constexpr uint32_t Id_IP_BUF_TOO_SMALL = 11001;
inline constexpr uint32_t Id_IP_DEST_NET_UNREACHABLE = 11002;
inline constexpr uint32_t Id_IP_DEST_HOST_UNREACHABLE = 11003;
inline constexpr uint32_t Id_IP_DEST_PROT_UNREACHABLE = 11004;
inline constexpr uint32_t Id_IP_DEST_PORT_UNREACHABLE = 11005;
inline constexpr uint32_t Id_IP_NO_RESOURCES = 11006;
inline constexpr uint32_t Id_IP_PACKET_TOO_BIG = 11009;
inline constexpr uint32_t Id_IP_REQ_TIMED_OUT = 11010;
inline constexpr uint32_t Id_IP_BAD_ROUTE = 11012;
inline constexpr uint32_t Id_IP_TTL_EXPIRED_TRANSIT = 11013;
inline constexpr uint32_t Id_IP_TTL_EXPIRED_REASSEM = 11014;
inline constexpr uint32_t Id_IP_PARAM_PROBLEM = 11015;
inline constexpr uint32_t Id_IP_SOURCE_QUENCH = 11016;
inline constexpr uint32_t Id_IP_BAD_DESTINATION = 11018;
inline constexpr uint32_t Id_IP_GENERAL_FAILURE = 11050;
// The names Icmp6SendEcho2 gives some of the same numbers, and the ones only it reports.
inline constexpr uint32_t Id_IP_DEST_NO_ROUTE = 11002;
inline constexpr uint32_t Id_IP_DEST_ADDR_UNREACHABLE = 11003;
inline constexpr uint32_t Id_IP_DEST_PROHIBITED = 11004;
inline constexpr uint32_t Id_IP_HOP_LIMIT_EXCEEDED = 11013;
inline constexpr uint32_t Id_IP_REASSEMBLY_TIME_EXCEEDED = 11014;
inline constexpr uint32_t Id_IP_PARAMETER_PROBLEM = 11015;
inline constexpr uint32_t Id_IP_DEST_UNREACHABLE = 11040;
inline constexpr uint32_t Id_IP_TIME_EXCEEDED = 11041;
inline constexpr uint32_t Id_IP_BAD_HEADER = 11042;
inline constexpr uint32_t Id_IP_UNRECOGNIZED_NEXT_HEADER = 11043;
inline constexpr uint32_t Id_IP_DEST_SCOPE_MISMATCH = 11045;
inline constexpr uint32_t Id_ERROR_ACCESS_DENIED = 5;
inline constexpr uint32_t Id_ERROR_NOT_ENOUGH_MEMORY = 8;

// One exchange of the ICMP API as IcmpSendEcho2 or Icmp6SendEcho2 reports it.
struct TEchoResult {
    uint32_t Status = 0;           // the reply's status, or GetLastError() when none came
    uint8_t From[16] = {};         // the replying or complaining address: 4 bytes for IPv4
    uint32_t ScopeId = 0;          // of an IPv6 address
    uint8_t Ttl = 0;               // of the reply; IPv6's API does not tell it: 0
    std::span<const uint8_t> Data; // the echoed data, for a reply
};

// The size of ICMPV6_ECHO_REPLY, after which Icmp6SendEcho2 puts the echoed data.
inline constexpr size_t Echo6ReplyBytes = 36;

// What a stand-in socket reads after an exchange.
struct TFramed {
    std::vector<uint8_t> Datagram; // as a raw ICMP socket reads it; empty: nothing came
    int SocketError = 0;           // a Windows Sockets code where the exchange itself failed
};

// The raw socket's datagram for an exchange of ARequest (the ICMP echo request as the client
// built it) sent to ATarget with ARequestTtl: an echo reply, an ICMP error quoting the
// request, nothing for a time-out, or the code of a failure the raw socket would have
// reported itself.
TFramed FrameEchoResult(const TEchoResult& AResult, std::span<const uint8_t> ARequest,
                        const uint8_t ATarget[4], uint8_t ARequestTtl);

// The same for IPv6: what every ICMPv6 socket of this program reads (net/IcmpFrames.h), an
// IPv6 header in front of the ICMPv6 echo reply, or of an ICMPv6 error that quotes the
// request behind its IPv6 header.
TFramed FrameEcho6Result(const TEchoResult& AResult, std::span<const uint8_t> ARequest,
                         const uint8_t ATarget[16], uint8_t ARequestHops);

// The first reply of the buffer Icmp6SendEcho2 filled, as ICMPV6_ECHO_REPLY lays it out
// (packed address: port, flow, address, scope; then status and round-trip time) with at most
// ADataBytes of echoed data after it. False when the buffer cannot hold that record.
bool ReadEcho6Reply(std::span<const uint8_t> ABuffer, size_t ADataBytes, TEchoResult& AResult);

} // namespace IcmpApi
