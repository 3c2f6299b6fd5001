#pragma once
// The system's ICMP API (IcmpCreateFile, IcmpSendEcho2 in iphlpapi.dll) standing in for the
// raw ICMP socket that Windows refuses a user without administrator rights (WSAEACCES). The
// socket library's entries named below are handed out as adapters over the library's own:
// for a stand-in socket they carry the echo through the ICMP API and give back what the raw
// socket would have read, so one decoder serves both; every other socket goes straight
// through. The library is loaded at the stand-in's start, by the system loader, the way the
// socket library itself is.
#include "net/IdPlatform.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace IdWin {

// What the socket library hands out for its entry AName, whose own entry is AEntry: an
// adapter for socket, closesocket, connect, setsockopt, sendto, recv, recvfrom, select and
// shutdown; AEntry itself for every other name, and null for a null AEntry.
IdPlatform::TEntry SocketEntry(const char* AName, IdPlatform::TEntry AEntry);

// One exchange of the ICMP API as IcmpSendEcho2 reports it.
struct TEchoResult {
    uint32_t Status = 0;           // the reply's IP_* status, or GetLastError() when none came
    uint8_t From[4] = {};          // the replying or complaining address
    uint8_t Ttl = 0;               // of the reply
    std::span<const uint8_t> Data; // the echoed data, for a reply
};

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

} // namespace IdWin
