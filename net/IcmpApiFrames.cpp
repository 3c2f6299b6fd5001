#include "net/IcmpApiFrames.h"

#include "net/IcmpFrames.h"
#include "net/IdWinSockTypes.h"

#include <algorithm>
#include <cstring>

namespace IcmpApi {
namespace {

using IcmpFrames::ErrorPrefixBytes;
using IcmpFrames::IcmpHeaderBytes;
using IcmpFrames::Ipv4HeaderBytes;
using IcmpFrames::Ipv6HeaderBytes;

// The ICMP type and code that the raw socket would have read for a status.
struct TErrorType {
    uint32_t Status;
    uint8_t Type;
    uint8_t Code;
};
constexpr TErrorType ErrorTypes[] = {
    {Id_IP_DEST_NET_UNREACHABLE, 3, 0},  {Id_IP_DEST_HOST_UNREACHABLE, 3, 1},
    {Id_IP_DEST_PROT_UNREACHABLE, 3, 2}, {Id_IP_DEST_PORT_UNREACHABLE, 3, 3},
    {Id_IP_PACKET_TOO_BIG, 3, 4},        {Id_IP_SOURCE_QUENCH, 4, 0},
    {Id_IP_TTL_EXPIRED_TRANSIT, 11, 0},  {Id_IP_TTL_EXPIRED_REASSEM, 11, 1},
    {Id_IP_PARAM_PROBLEM, 12, 0},
};
// The same for ICMPv6, whose API names the unreachable and parameter-problem codes apart;
// the generic statuses take the first code of their type.
constexpr TErrorType Error6Types[] = {
    {Id_IP_DEST_NO_ROUTE, 1, 0},
    {Id_IP_DEST_PROHIBITED, 1, 1},
    {Id_IP_DEST_SCOPE_MISMATCH, 1, 2},
    {Id_IP_DEST_ADDR_UNREACHABLE, 1, 3},
    {Id_IP_DEST_PORT_UNREACHABLE, 1, 4},
    {Id_IP_DEST_UNREACHABLE, 1, 0},
    {Id_IP_PACKET_TOO_BIG, 2, 0},
    {Id_IP_HOP_LIMIT_EXCEEDED, 3, 0},
    {Id_IP_REASSEMBLY_TIME_EXCEEDED, 3, 1},
    {Id_IP_TIME_EXCEEDED, 3, 0},
    {Id_IP_BAD_HEADER, 4, 0},
    {Id_IP_UNRECOGNIZED_NEXT_HEADER, 4, 1},
    {Id_IP_PARAMETER_PROBLEM, 4, 2},
};
// An ICMPv6 error quotes as much of the packet as keeps it within the minimum MTU.
constexpr size_t Ipv6MinimumMtu = 1280;
constexpr uint8_t NextHeaderIcmp6 = 58;

// A failure of the exchange itself, as the raw socket's own call would have reported it.
int SocketErrorOf(uint32_t AStatus) {
    switch (AStatus) {
    case Id_ERROR_ACCESS_DENIED:
        return Id_WSAEACCES;
    case Id_IP_NO_RESOURCES:
    case Id_ERROR_NOT_ENOUGH_MEMORY:
        return Id_WSAENOBUFS;
    case Id_IP_BUF_TOO_SMALL:
        return Id_WSAEMSGSIZE;
    case Id_IP_BAD_ROUTE:
        return Id_WSAENETUNREACH;
    case Id_IP_BAD_DESTINATION:
        return Id_WSAEADDRNOTAVAIL;
    default:
        return Id_WSAENETDOWN;
    }
}

void WriteBe16(uint8_t* P, uint16_t V) {
    P[0] = static_cast<uint8_t>(V >> 8);
    P[1] = static_cast<uint8_t>(V);
}

// Windows writes its records in the machine's order, little-endian on every Windows.
uint32_t ReadLe32(const uint8_t* P) {
    return static_cast<uint32_t>(P[0]) | static_cast<uint32_t>(P[1]) << 8 |
           static_cast<uint32_t>(P[2]) << 16 | static_cast<uint32_t>(P[3]) << 24;
}

const TErrorType* Find(std::span<const TErrorType> ATable, uint32_t AStatus) {
    const auto Type = std::find_if(ATable.begin(), ATable.end(),
                                   [&](const TErrorType& T) { return T.Status == AStatus; });
    return Type == ATable.end() ? nullptr : &*Type;
}

} // namespace

TFramed FrameEchoResult(const TEchoResult& AResult, std::span<const uint8_t> ARequest,
                        const uint8_t ATarget[4], uint8_t ARequestTtl) {
    TFramed Framed;
    if (ARequest.size() < IcmpHeaderBytes || AResult.Status == Id_IP_REQ_TIMED_OUT) {
        return Framed;
    }
    const IcmpFrames::TIdentifier Identifier{{ARequest[4], ARequest[5]}};
    if (AResult.Status == Id_IP_SUCCESS) {
        // The request's header with the echoed data, as the reply on the wire carried it.
        const size_t IcmpBytes = IcmpHeaderBytes + AResult.Data.size();
        Framed.Datagram.assign(Ipv4HeaderBytes + IcmpBytes, 0);
        uint8_t* Icmp = Framed.Datagram.data() + Ipv4HeaderBytes;
        std::memcpy(Icmp, ARequest.data(), IcmpHeaderBytes);
        if (!AResult.Data.empty()) {
            std::memcpy(Icmp + IcmpHeaderBytes, AResult.Data.data(), AResult.Data.size());
        }
        Icmp[0] = 0;
        Icmp[1] = 0;
        Icmp[2] = Icmp[3] = 0;
        WriteBe16(Icmp + 2, IcmpFrames::InternetChecksum({Icmp, IcmpBytes}));
        IcmpFrames::TReplyFacts Facts;
        std::memcpy(Facts.Source, AResult.From, 4);
        Facts.Ttl = AResult.Ttl;
        IcmpFrames::FrameReply(Facts, Framed.Datagram, IcmpBytes, Identifier, Identifier);
        return Framed;
    }
    const TErrorType* Type = Find(ErrorTypes, AResult.Status);
    if (Type == nullptr) {
        Framed.SocketError = SocketErrorOf(AResult.Status);
        return Framed;
    }
    // The error quotes our request's ICMP header, as routers quote at least that much.
    Framed.Datagram.assign(ErrorPrefixBytes + IcmpHeaderBytes, 0);
    std::memcpy(Framed.Datagram.data() + ErrorPrefixBytes, ARequest.data(), IcmpHeaderBytes);
    IcmpFrames::TErrorFacts Facts;
    std::memcpy(Facts.Offender, AResult.From, 4);
    Facts.Ttl = AResult.Ttl;
    Facts.Type = Type->Type;
    Facts.Code = Type->Code;
    std::memcpy(Facts.Target, ATarget, 4);
    Facts.RequestTtl = ARequestTtl;
    Facts.RequestBytes = static_cast<uint16_t>(ARequest.size());
    IcmpFrames::FrameError(Facts, Framed.Datagram, IcmpHeaderBytes, Identifier, Identifier);
    return Framed;
}

TFramed FrameEcho6Result(const TEchoResult& AResult, std::span<const uint8_t> ARequest,
                         const uint8_t ATarget[16], uint8_t ARequestHops) {
    TFramed Framed;
    if (ARequest.size() < IcmpHeaderBytes || AResult.Status == Id_IP_REQ_TIMED_OUT) {
        return Framed;
    }
    const IcmpFrames::TIdentifier Identifier{{ARequest[4], ARequest[5]}};
    IcmpFrames::TMessage6Facts Facts;
    std::memcpy(Facts.Source, AResult.From, 16);
    Facts.HopLimit = AResult.Ttl;
    // The checksums stay 0: an ICMPv6 checksum covers our own address, which the API does
    // not tell, and the system checked the real one before it answered.
    if (AResult.Status == Id_IP_SUCCESS) {
        const size_t IcmpBytes = IcmpHeaderBytes + AResult.Data.size();
        Framed.Datagram.assign(Ipv6HeaderBytes + IcmpBytes, 0);
        uint8_t* Icmp = Framed.Datagram.data() + Ipv6HeaderBytes;
        std::memcpy(Icmp, ARequest.data(), IcmpHeaderBytes);
        if (!AResult.Data.empty()) {
            std::memcpy(Icmp + IcmpHeaderBytes, AResult.Data.data(), AResult.Data.size());
        }
        Icmp[0] = 129;
        Icmp[1] = 0;
        Icmp[2] = Icmp[3] = 0;
        IcmpFrames::FrameMessage6(Facts, Framed.Datagram, IcmpBytes, Identifier, Identifier);
        return Framed;
    }
    const TErrorType* Type = Find(Error6Types, AResult.Status);
    if (Type == nullptr) {
        Framed.SocketError = SocketErrorOf(AResult.Status);
        return Framed;
    }
    // The error quotes the request behind the IPv6 header it left with: our own address in
    // it unspecified, as the API does not name it.
    const size_t Quoted =
        std::min(ARequest.size(), Ipv6MinimumMtu - 2 * Ipv6HeaderBytes - IcmpHeaderBytes);
    const size_t IcmpBytes = IcmpHeaderBytes + Ipv6HeaderBytes + Quoted;
    Framed.Datagram.assign(Ipv6HeaderBytes + IcmpBytes, 0);
    uint8_t* Icmp = Framed.Datagram.data() + Ipv6HeaderBytes;
    Icmp[0] = Type->Type;
    Icmp[1] = Type->Code;
    uint8_t* Header = Icmp + IcmpHeaderBytes;
    Header[0] = 0x60;
    WriteBe16(Header + 4, static_cast<uint16_t>(std::min<size_t>(ARequest.size(), 0xFFFF)));
    Header[6] = NextHeaderIcmp6;
    Header[7] = ARequestHops;
    std::memcpy(Header + 24, ATarget, 16);
    std::memcpy(Header + Ipv6HeaderBytes, ARequest.data(), Quoted);
    IcmpFrames::FrameMessage6(Facts, Framed.Datagram, IcmpBytes, Identifier, Identifier);
    return Framed;
}

bool ReadEcho6Reply(std::span<const uint8_t> ABuffer, size_t ADataBytes, TEchoResult& AResult) {
    if (ABuffer.size() < Echo6ReplyBytes) {
        return false;
    }
    AResult = TEchoResult{};
    // IPV6_ADDRESS_EX is packed: the address follows the port (2) and the flow (4) at once.
    std::memcpy(AResult.From, &ABuffer[6], 16);
    AResult.ScopeId = ReadLe32(&ABuffer[22]);
    AResult.Status = ReadLe32(&ABuffer[28]);
    AResult.Data =
        ABuffer.subspan(Echo6ReplyBytes, std::min(ADataBytes, ABuffer.size() - Echo6ReplyBytes));
    return true;
}

} // namespace IcmpApi
