#pragma once
// POSIX stand-ins for the Windows Sockets records. The handle is 32 bits and the
// descriptor set keeps the Windows shape (a count and 64 handles), so the logic above the
// binding is the same on every platform.
#include <cstdint>

#define IDWSAPI

namespace IdWinSock2 {
using TSocket = int32_t;
// Kept free of the C library's socket headers, whose byte-order macros would rewrite the
// binding's entry names. The adapters translate to and from the C library's records.
struct TSockAddr {
    uint16_t sa_family;
    char sa_data[14];
};
struct THostEnt {
    char* h_name;
    char** h_aliases;
    short h_addrtype;
    short h_length;
    char** h_addr_list;
};
struct TServEnt {
    char* s_name;
    char** s_aliases;
    short s_port;
    char* s_proto;
};
struct TProtoEnt {
    char* p_name;
    char** p_aliases;
    short p_proto;
};
using TULong = uint32_t;

inline constexpr int FD_SETSIZE_WS = 64;
struct TFdSet {
    uint32_t fd_count;
    TSocket fd_array[FD_SETSIZE_WS];
};

struct TTimeVal {
    int32_t tv_sec;
    int32_t tv_usec;
};

struct TWSAData {
    uint16_t wVersion;
    uint16_t wHighVersion;
    char szDescription[257];
    char szSystemStatus[129];
    uint16_t iMaxSockets;
    uint16_t iMaxUdpDg;
    char* lpVendorInfo;
};
} // namespace IdWinSock2
