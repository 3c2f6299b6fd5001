#include "net/IcmpApiFrames.h"

#include "net/IcmpFrames.h"
#include "net/IdWinSockTypes.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace IcmpApi {
namespace {

using IcmpFrames::ErrorPrefixBytes;
using IcmpFrames::IcmpHeaderBytes;
using IcmpFrames::Ipv4HeaderBytes;

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
    const auto* Type =
        std::find_if(std::begin(ErrorTypes), std::end(ErrorTypes),
                     [&](const TErrorType& T) { return T.Status == AResult.Status; });
    if (Type == std::end(ErrorTypes)) {
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

} // namespace IcmpApi
