#pragma once
// The system's ICMP API (IcmpCreateFile, IcmpSendEcho2 in iphlpapi.dll) standing in for the
// raw ICMP socket that Windows refuses a user without administrator rights (WSAEACCES): the
// API loaded, by the system loader as the socket library itself is, and one echo exchange
// through it. The socket adapters (IdWinSock2Win.h) make a stand-in look like that socket.
#include "net/IdPlatform.h"

#include <winsock2.h>

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

// A stand-in socket: a UDP socket of the library's own gives it a handle that select and
// closesocket know; the echo travels through the ICMP API. The request waits for the next
// select or receive, which knows how long the caller waits, and the exchange is made there.
struct TStandIn {
    IdPlatform::TModule Module = nullptr;
    HANDLE Icmp = INVALID_HANDLE_VALUE;
    TIcmpSendEcho2 SendEcho = nullptr;
    TIcmpCloseHandle CloseIcmp = nullptr;
    uint8_t Ttl = 128;
    std::optional<sockaddr_in> Peer;
    std::vector<uint8_t> Request;
    sockaddr_in Target{};
    std::vector<uint8_t> Datagram;
    sockaddr_in From{};
    // An exchange that failed: the next receive reports it, as a raw socket reports an
    // error that arrived while the caller waited.
    int PendingError = 0;

    ~TStandIn();
};

// The ICMP API loaded and opened; null when the system has none for this user.
std::unique_ptr<TStandIn> OpenIcmpApi();

// Makes the waiting exchange, for at most AMilliseconds. Where it failed as a socket call
// would have, the code waits for the next receive.
void Exchange(TStandIn& AStandIn, DWORD AMilliseconds);

} // namespace IdWin
