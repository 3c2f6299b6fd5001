#pragma once
// The system's ICMP API (IcmpCreateFile, IcmpSendEcho2 in iphlpapi.dll; Icmp6CreateFile,
// Icmp6SendEcho2 for IPv6) standing in for the raw ICMP or ICMPv6 socket that Windows refuses
// a user without administrator rights (WSAEACCES): the API loaded, by the system loader as
// the socket library itself is, and one echo exchange through it. The socket adapters
// (IdWinSock2Win.h) make a stand-in look like that socket.
#include "net/IdPlatform.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "system/win/WindowsApi.h"

#include <ipexport.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace IdWin {

using TIcmpCloseHandle = BOOL(WINAPI*)(HANDLE);
using TIcmpSendEcho2 = DWORD(WINAPI*)(HANDLE, HANDLE, FARPROC, PVOID, IPAddr, LPVOID, WORD,
                                      PIP_OPTION_INFORMATION, LPVOID, DWORD, DWORD);
using TIcmp6SendEcho2 = DWORD(WINAPI*)(HANDLE, HANDLE, FARPROC, PVOID, sockaddr_in6*, sockaddr_in6*,
                                       LPVOID, WORD, PIP_OPTION_INFORMATION, LPVOID, DWORD, DWORD);
using TIcmp6ParseReplies = DWORD(WINAPI*)(LPVOID, DWORD);

// A stand-in socket: a UDP socket of the library's own gives it a handle that select and
// closesocket know; the echo travels through the ICMP API. The request waits for the next
// select or receive, which knows how long the caller waits, and the exchange is made there.
struct TStandIn {
    IdPlatform::TModule Module = nullptr;
    HANDLE Icmp = INVALID_HANDLE_VALUE;
    bool Ip6 = false;
    TIcmpSendEcho2 SendEcho = nullptr;
    TIcmp6SendEcho2 SendEcho6 = nullptr;
    TIcmp6ParseReplies ParseReplies6 = nullptr; // where exported; Wine 8 has none
    TIcmpCloseHandle CloseIcmp = nullptr;
    // The code the API's handle was refused with: an API that is there and cannot work
    // (Wine's ICMPv6 one answers ERROR_CALL_NOT_IMPLEMENTED) fails every send with it, so
    // that the ping ends in that error rather than in a wait for nothing.
    DWORD Unavailable = 0;
    uint8_t Ttl = 128; // the hop limit, for IPv6
    std::optional<sockaddr_in> Peer;
    std::optional<sockaddr_in6> Peer6;
    std::vector<uint8_t> Request;
    sockaddr_in Target{};
    sockaddr_in6 Target6{};
    std::vector<uint8_t> Datagram;
    sockaddr_in From{};
    sockaddr_in6 From6{};
    // An exchange that failed: the next receive reports it, as a raw socket reports an
    // error that arrived while the caller waited.
    int PendingError = 0;

    ~TStandIn();
};

// The ICMP API loaded and opened; null when the system has none for this user.
std::unique_ptr<TStandIn> OpenIcmpApi();

// The ICMPv6 API loaded and opened; null when the system has none. Where it is there but
// refuses its handle, the stand-in says why in Unavailable.
std::unique_ptr<TStandIn> OpenIcmp6Api();

// Makes the waiting exchange, for at most AMilliseconds. Where it failed as a socket call
// would have, the code waits for the next receive.
void Exchange(TStandIn& AStandIn, DWORD AMilliseconds);

} // namespace IdWin
