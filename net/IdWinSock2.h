#pragma once
// Run-time binding to the Windows Sockets 2 library. Nothing links against the library:
// start-up loads it by name and each entry point is looked up by name the first time it is
// called. Until then (and again after unload) every procedure variable points at a stub
// that binds the entry, or raises EIdWS2StubError while the library is not loaded.
#include "net/IdPlatform.h"
#include "net/IdWinSockTypes.h"

#include <cstdint>

namespace IdWinSock2 {

inline constexpr int EntryCount = 112;

using TProc = IdPlatform::TEntry;

// Looks up the entry (1-based record number) and stores its address in its procedure
// variable; raises EIdWS2StubError when the library is not loaded or lacks the entry.
TProc BindEntry(int ARecord);
const char* EntryName(int ARecord);
bool EntryIsBound(int ARecord);

template <int N, typename F> struct TStub;
template <int N, typename R, typename... A> struct TStub<N, R(IDWSAPI*)(A...)> {
    static R IDWSAPI Call(A... AArgs) {
        return reinterpret_cast<R(IDWSAPI*)(A...)>(BindEntry(N))(AArgs...);
    }
};

#define ID_WS2_ENTRY(N, Name, Type)                                                                \
    using T##Name = Type;                                                                          \
    inline T##Name Name = &TStub<N, T##Name>::Call;

ID_WS2_ENTRY(1, WSACleanup, int(IDWSAPI*)())
ID_WS2_ENTRY(2, accept, TSocket(IDWSAPI*)(TSocket, TSockAddr*, int*))
ID_WS2_ENTRY(3, bind, int(IDWSAPI*)(TSocket, const TSockAddr*, int))
ID_WS2_ENTRY(4, closesocket, int(IDWSAPI*)(TSocket))
ID_WS2_ENTRY(5, connect, int(IDWSAPI*)(TSocket, const TSockAddr*, int))
ID_WS2_ENTRY(6, ioctlsocket, int(IDWSAPI*)(TSocket, long, TULong*))
ID_WS2_ENTRY(7, getpeername, int(IDWSAPI*)(TSocket, TSockAddr*, int*))
ID_WS2_ENTRY(8, getsockname, int(IDWSAPI*)(TSocket, TSockAddr*, int*))
ID_WS2_ENTRY(9, getsockopt, int(IDWSAPI*)(TSocket, int, int, char*, int*))
ID_WS2_ENTRY(10, htonl, TULong(IDWSAPI*)(TULong))
ID_WS2_ENTRY(11, htons, uint16_t(IDWSAPI*)(uint16_t))
ID_WS2_ENTRY(12, inet_addr, TULong(IDWSAPI*)(const char*))
ID_WS2_ENTRY(13, inet_ntoa, char*(IDWSAPI*)(TInAddr))
ID_WS2_ENTRY(14, listen, int(IDWSAPI*)(TSocket, int))
ID_WS2_ENTRY(15, ntohl, TULong(IDWSAPI*)(TULong))
ID_WS2_ENTRY(16, ntohs, uint16_t(IDWSAPI*)(uint16_t))
ID_WS2_ENTRY(17, recv, int(IDWSAPI*)(TSocket, char*, int, int))
ID_WS2_ENTRY(18, recvfrom, int(IDWSAPI*)(TSocket, char*, int, int, TSockAddr*, int*))
ID_WS2_ENTRY(19, select, int(IDWSAPI*)(int, TFdSet*, TFdSet*, TFdSet*, const TTimeVal*))
ID_WS2_ENTRY(20, send, int(IDWSAPI*)(TSocket, const char*, int, int))
ID_WS2_ENTRY(21, sendto, int(IDWSAPI*)(TSocket, const char*, int, int, const TSockAddr*, int))
ID_WS2_ENTRY(22, setsockopt, int(IDWSAPI*)(TSocket, int, int, const char*, int))
ID_WS2_ENTRY(23, shutdown, int(IDWSAPI*)(TSocket, int))
ID_WS2_ENTRY(24, socket, TSocket(IDWSAPI*)(int, int, int))
ID_WS2_ENTRY(25, gethostbyaddr, THostEnt*(IDWSAPI*)(const char*, int, int))
ID_WS2_ENTRY(26, gethostbyname, THostEnt*(IDWSAPI*)(const char*))
ID_WS2_ENTRY(27, gethostname, int(IDWSAPI*)(char*, int))
ID_WS2_ENTRY(28, getservbyport, TServEnt*(IDWSAPI*)(int, const char*))
ID_WS2_ENTRY(29, getservbyname, TServEnt*(IDWSAPI*)(const char*, const char*))
ID_WS2_ENTRY(30, getprotobynumber, TProtoEnt*(IDWSAPI*)(int))
ID_WS2_ENTRY(31, getprotobyname, TProtoEnt*(IDWSAPI*)(const char*))
ID_WS2_ENTRY(32, WSASetLastError, void(IDWSAPI*)(int))
ID_WS2_ENTRY(33, WSAGetLastError, int(IDWSAPI*)())
ID_WS2_ENTRY(46, WSAFDIsSet, int(IDWSAPI*)(TSocket, TFdSet*))

#undef ID_WS2_ENTRY

// The binding's own start-up: loads the library once and calls its WSAStartup; a
// loaded library answers 0 at once without calling the platform again. A start-up that
// fails (non-zero answer, or no WSAStartup in the library) unloads it, so the next one
// calls the platform again.
int WSAStartup(uint16_t AVersion, TWSAData* AData);
// The stack's start-up: the platform started once for the process, with version 2.2; once
// started, later calls answer at once. false when the platform refuses to start; raises
// EIdWS2StubError when the library cannot be loaded or lacks its start-up.
bool StartSockets();
bool SocketsStarted();
// Program end: WSACleanup when the sockets were started, then UnloadSockets. Runs by itself
// after main returns, once every component is gone; tests may call it early.
void FinalizeSockets();
// Frees the library (at most once) and puts every entry back on its stub; the sockets count
// as started no longer, so the next stack starts the platform again.
void UnloadSockets();
void ResetEntries();
bool IsLoaded();

// Tests swap the library for a fake; null restores the system's.
void SetLibraryLoader(const IdPlatform::TLibraryLoader* ALoader);

} // namespace IdWinSock2
