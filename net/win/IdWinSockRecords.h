#pragma once
// The Windows Sockets records themselves.
#include <winsock2.h>

#include <cstdint>

#define IDWSAPI WSAAPI

namespace IdWinSock2 {
using TSocket = ::SOCKET;
using TSockAddr = ::sockaddr;
using THostEnt = ::hostent;
using TServEnt = ::servent;
using TProtoEnt = ::protoent;
using TULong = ::u_long;
inline constexpr int FD_SETSIZE_WS = FD_SETSIZE;
using TFdSet = ::fd_set;
using TTimeVal = ::timeval;
using TWSAData = ::WSADATA;
} // namespace IdWinSock2
