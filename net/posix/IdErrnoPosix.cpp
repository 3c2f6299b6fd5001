// errno, h_errno and socket option numbers translated to the Windows Sockets ones in one
// place, so every error text above the binding stays the same on every platform.
#include "net/posix/PosixSockets.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <iterator>
#include <netdb.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>

namespace {

struct TErrnoCode {
    int Errno;
    int Code;
};
// First match wins in both directions, so the errno listed first for a code is the one
// whose text describes it.
constexpr TErrnoCode ErrnoCodes[] = {
    {EINTR, 10004},        {EBADF, 10009},           {EACCES, 10013},
    {EPERM, 10013},        {EFAULT, 10014},          {EINVAL, 10022},
    {EMFILE, 10024},       {ENFILE, 10024},          {EWOULDBLOCK, 10035},
    {EINPROGRESS, 10036},  {EALREADY, 10037},        {ENOTSOCK, 10038},
    {EDESTADDRREQ, 10039}, {EMSGSIZE, 10040},        {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044},
    {EOPNOTSUPP, 10045},   {EPFNOSUPPORT, 10046},    {EAFNOSUPPORT, 10047},
    {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049},   {ENETDOWN, 10050},
    {ENETUNREACH, 10051},  {ENETRESET, 10052},       {ECONNABORTED, 10053},
    {ECONNRESET, 10054},   {ENOBUFS, 10055},         {ENOMEM, 10055},
    {EISCONN, 10056},      {ENOTCONN, 10057},        {ESHUTDOWN, 10058},
    {ETOOMANYREFS, 10059}, {ETIMEDOUT, 10060},       {ECONNREFUSED, 10061},
    {ELOOP, 10062},        {ENAMETOOLONG, 10063},    {EHOSTDOWN, 10064},
    {EHOSTUNREACH, 10065}, {ENOTEMPTY, 10066},       {EUSERS, 10068},
    {EDQUOT, 10069},       {ESTALE, 10070},          {EREMOTE, 10071},
};

// An errno with no Windows Sockets counterpart is kept visible, outside the table's range.
constexpr int UnmappedErrnoBase = 20000;

// The table by errno, 0 where it has none: some failures come at every exchange (the echo
// client shuts down its socket, never connected, before it closes it).
constexpr int ErrnoLimit = 128;
constexpr auto CodeByErrno = [] {
    std::array<int, ErrnoLimit> Codes{};
    for (const auto& E : ErrnoCodes) {
        if (E.Errno < ErrnoLimit && Codes[E.Errno] == 0) {
            Codes[E.Errno] = E.Code;
        }
    }
    return Codes;
}();
static_assert(std::all_of(std::begin(ErrnoCodes), std::end(ErrnoCodes),
                          [](const TErrnoCode& E) { return E.Errno < ErrnoLimit; }));

// Socket option numbers are the Windows Sockets ones above the binding; Linux numbers
// them differently (IP_TTL is 4 there, 2 here). Types, families, flags and shutdown
// directions coincide and pass unchanged.
struct TOptionMap {
    int WsLevel, WsName, Level, Name;
};
// The TTL and hop limit first: the echo client sets one at every step of an exchange.
constexpr TOptionMap Options[] = {
    {0, 4, IPPROTO_IP, IP_TTL},
    {41, 4, IPPROTO_IPV6, IPV6_UNICAST_HOPS},
    {0, 1, IPPROTO_IP, IP_OPTIONS},
    {0, 2, IPPROTO_IP, IP_HDRINCL},
    {0, 3, IPPROTO_IP, IP_TOS},
    {0, 9, IPPROTO_IP, IP_MULTICAST_IF},
    {0, 10, IPPROTO_IP, IP_MULTICAST_TTL},
    {0, 11, IPPROTO_IP, IP_MULTICAST_LOOP},
    {0xFFFF, 0x0004, SOL_SOCKET, SO_REUSEADDR},
    {0xFFFF, 0x0008, SOL_SOCKET, SO_KEEPALIVE},
    {0xFFFF, 0x0010, SOL_SOCKET, SO_DONTROUTE},
    {0xFFFF, 0x0020, SOL_SOCKET, SO_BROADCAST},
    {0xFFFF, 0x0080, SOL_SOCKET, SO_LINGER},
    {0xFFFF, 0x0100, SOL_SOCKET, SO_OOBINLINE},
    {0xFFFF, 0x1001, SOL_SOCKET, SO_SNDBUF},
    {0xFFFF, 0x1002, SOL_SOCKET, SO_RCVBUF},
    {0xFFFF, 0x1007, SOL_SOCKET, SO_ERROR},
    {0xFFFF, 0x1008, SOL_SOCKET, SO_TYPE},
    {6, 1, IPPROTO_TCP, 1 /* TCP_NODELAY */},
};

} // namespace

namespace IdPosix {

int CodeFromErrno(int AErrno) {
    const int Code = AErrno >= 0 && AErrno < ErrnoLimit ? CodeByErrno[AErrno] : 0;
    return Code != 0 ? Code : UnmappedErrnoBase + AErrno;
}

int ErrnoFromCode(uint32_t ACode) {
    for (const auto& E : ErrnoCodes) {
        if (static_cast<uint32_t>(E.Code) == ACode) {
            return E.Errno;
        }
    }
    if (ACode > UnmappedErrnoBase && ACode < UnmappedErrnoBase + 4096) {
        return static_cast<int>(ACode) - UnmappedErrnoBase;
    }
    return 0;
}

int HostErrorCode(int AHostErrno) {
    switch (AHostErrno) {
    case HOST_NOT_FOUND:
        return Id_WSAHOST_NOT_FOUND;
    case TRY_AGAIN:
        return Id_WSATRY_AGAIN;
    case NO_RECOVERY:
        return Id_WSANO_RECOVERY;
    case NO_DATA:
        return Id_WSANO_DATA;
    default:
        return CodeFromErrno(errno);
    }
}

bool ToSysOption(int& ALevel, int& AName) {
    for (const auto& O : Options) {
        if (O.WsLevel == ALevel && O.WsName == AName) {
            ALevel = O.Level;
            AName = O.Name;
            return true;
        }
    }
    return false;
}

} // namespace IdPosix
