#pragma once
// What the POSIX platform files share among themselves: the C library adapters that stand in
// for the Windows Sockets library, and the translation of the C library's error and option
// numbers into the Windows Sockets ones. Nothing outside net/posix includes this.
#include "net/IdPlatform.h"
#include "net/IdWinSockTypes.h"

#include <cstdint>

namespace IdPosix {

// The codes the Windows loader gives for a missing library and a missing entry.
inline constexpr uint32_t ErrorModNotFound = 126;
inline constexpr uint32_t ErrorProcNotFound = 127;

// The adapter with the Windows Sockets signature for the entry name (case-sensitive, as
// GetProcAddress's names are); null when the library has no such entry.
IdPlatform::TEntry FindSocketAdapter(const char* AName);

// What WSAGetLastError answers next on this thread.
void SetLastSocketError(int ACode);
// select() over the Windows-shaped sets.
int IDWSAPI PollSets(int ANfds, IdWinSock2::TFdSet* ARead, IdWinSock2::TFdSet* AWrite,
                     IdWinSock2::TFdSet* AErrors, const IdWinSock2::TTimeVal* ATimeout);

// errno and h_errno as Windows Sockets codes, and back.
int CodeFromErrno(int AErrno);
int ErrnoFromCode(uint32_t ACode);
int HostErrorCode(int AHostErrno);
// Turns a Windows Sockets option level and name into the C library's; false when unknown.
bool ToSysOption(int& ALevel, int& AName);

} // namespace IdPosix
