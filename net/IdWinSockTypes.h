#pragma once
// The Windows Sockets types and codes that the stack and its users speak, without the
// binding's entry points. The records themselves differ per platform: the build names the
// platform's IdWinSockRecords.h, in net/posix or net/win.
#include VEXLO_WINSOCK_RECORDS

#include <cstdint>

namespace IdWinSock2 {

inline constexpr TSocket INVALID_SOCKET_WS = static_cast<TSocket>(~static_cast<TSocket>(0));
inline constexpr int SOCKET_ERROR_WS = -1;

// Address bytes in storage order: byte 0 is the first number of the dotted quad.
struct TInAddr {
    uint8_t Bytes[4];
};

// Same layout as the platform's sockaddr_in on every supported system.
struct TSockAddrIn {
    uint16_t sin_family;
    uint16_t sin_port;
    TInAddr sin_addr;
    uint8_t sin_zero[8];
};
static_assert(sizeof(TSockAddrIn) == 16);

// Same layout as sockaddr_in6 on every supported system; only the family's number differs
// (23 on Windows, 10 on Linux), and the POSIX adapters translate it.
struct TSockAddrIn6 {
    uint16_t sin6_family;
    uint16_t sin6_port;
    uint32_t sin6_flowinfo;
    uint8_t sin6_addr[16];
    uint32_t sin6_scope_id;
};
static_assert(sizeof(TSockAddrIn6) == 28);

} // namespace IdWinSock2

// The Windows Sockets codes the program sets or tests by name. The system headers of
// Windows define the plain names as macros, hence the prefix.
inline constexpr int32_t Id_WSAEINTR = 10004;
inline constexpr int32_t Id_WSAEACCES = 10013;
inline constexpr int32_t Id_WSAEINVAL = 10022;
inline constexpr int32_t Id_WSAENOTSOCK = 10038;
inline constexpr int32_t Id_WSAEMSGSIZE = 10040;
inline constexpr int32_t Id_WSAENOPROTOOPT = 10042;
inline constexpr int32_t Id_WSAEADDRNOTAVAIL = 10049;
inline constexpr int32_t Id_WSAENETDOWN = 10050;
inline constexpr int32_t Id_WSAENETUNREACH = 10051;
inline constexpr int32_t Id_WSAECONNRESET = 10054;
inline constexpr int32_t Id_WSAENOBUFS = 10055;
inline constexpr int32_t Id_WSANOTINITIALISED = 10093;
inline constexpr int32_t Id_WSAHOST_NOT_FOUND = 11001;
inline constexpr int32_t Id_WSATRY_AGAIN = 11002;
inline constexpr int32_t Id_WSANO_RECOVERY = 11003;
inline constexpr int32_t Id_WSANO_DATA = 11004;
