#pragma once
// The socket library's entries as Windows' loader hands them to the binding: adapters over
// the library's own for the calls a stand-in socket (IcmpApiWin.h) answers in its own way,
// the library's own entry for every other call and socket.
#include "net/IdPlatform.h"

namespace IdWin {

// What the socket library hands out for its entry AName, whose own entry is AEntry: an
// adapter for socket, closesocket, connect, setsockopt, sendto, recv, recvfrom, select and
// shutdown; AEntry itself for every other name, and null for a null AEntry. The adapters
// give a raw ICMP socket that the library refuses for want of administrator rights a
// stand-in that carries the echo through the ICMP API and reads what the raw socket would
// have read; every other socket goes straight through.
IdPlatform::TEntry SocketEntry(const char* AName, IdPlatform::TEntry AEntry);

} // namespace IdWin
