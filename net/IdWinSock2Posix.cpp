// POSIX side of the platform seam. The "library" is a table of adapters with the Windows
// Sockets signatures over the C library's calls; errno and h_errno become Windows Sockets
// codes here, in one place, so every error text above stays the same.
#include "IdPlatform.h"
#include "IdResourceStrings.h"
#include "IdWinSock2.h"
#include "RawPrivilege.h"

#include <arpa/inet.h>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <cwctype>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <strings.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
using namespace IdWinSock2;

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

constexpr uint32_t ErrorModNotFound = 126;
constexpr uint32_t ErrorProcNotFound = 127;

int CodeFromErrno(int AErrno) {
    for (const auto& E : ErrnoCodes) {
        if (E.Errno == AErrno) {
            return E.Code;
        }
    }
    return UnmappedErrnoBase + AErrno;
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

thread_local int LastSocketError = 0;
thread_local uint32_t LastLoaderError = 0;

// Every adapter that fails records the code the way WSAGetLastError will report it.
template <typename R> R Checked(R AResult, R AFailure) {
    if (AResult == AFailure) {
        LastSocketError = CodeFromErrno(errno);
    }
    return AResult;
}

int HostErrorCode(int AHostErrno) {
    switch (AHostErrno) {
    case HOST_NOT_FOUND:
        return 11001;
    case TRY_AGAIN:
        return 11002;
    case NO_RECOVERY:
        return 11003;
    case NO_DATA:
        return 11004;
    default:
        return CodeFromErrno(errno);
    }
}

::sockaddr* Sys(TSockAddr* A) {
    return reinterpret_cast<::sockaddr*>(A);
}
const ::sockaddr* Sys(const TSockAddr* A) {
    return reinterpret_cast<const ::sockaddr*>(A);
}
static_assert(sizeof(TSockAddr) == sizeof(::sockaddr));

// The C library's records differ in field widths; each thread gets its own copy, as the
// Windows library keeps one record per thread.
thread_local THostEnt HostRecord;
thread_local TServEnt ServRecord;
thread_local TProtoEnt ProtoRecord;

THostEnt* FromSys(const ::hostent* H) {
    if (H == nullptr) {
        return nullptr;
    }
    HostRecord = THostEnt{H->h_name, H->h_aliases, static_cast<short>(H->h_addrtype),
                          static_cast<short>(H->h_length), H->h_addr_list};
    return &HostRecord;
}
TServEnt* FromSys(const ::servent* S) {
    if (S == nullptr) {
        return nullptr;
    }
    ServRecord = TServEnt{S->s_name, S->s_aliases, static_cast<short>(S->s_port), S->s_proto};
    return &ServRecord;
}
TProtoEnt* FromSys(const ::protoent* P) {
    if (P == nullptr) {
        return nullptr;
    }
    ProtoRecord = TProtoEnt{P->p_name, P->p_aliases, static_cast<short>(P->p_proto)};
    return &ProtoRecord;
}

// Socket option numbers are the Windows Sockets ones above the binding; Linux numbers
// them differently (IP_TTL is 4 there, 2 here). Types, families, flags and shutdown
// directions coincide and pass unchanged.
struct TOptionMap {
    int WsLevel, WsName, Level, Name;
};
constexpr TOptionMap Options[] = {
    {0, 1, IPPROTO_IP, IP_OPTIONS},
    {0, 2, IPPROTO_IP, IP_HDRINCL},
    {0, 3, IPPROTO_IP, IP_TOS},
    {0, 4, IPPROTO_IP, IP_TTL},
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

socklen_t* AsLen(int* ALen, socklen_t& AStore) {
    if (ALen == nullptr) {
        return nullptr;
    }
    AStore = static_cast<socklen_t>(*ALen);
    return &AStore;
}

int IDWSAPI PxWSAStartup(uint16_t AVersion, TWSAData* AData) {
    if (AData != nullptr) {
        std::memset(AData, 0, sizeof(*AData));
        AData->wVersion = AVersion;
        AData->wHighVersion = 0x0202;
        std::strcpy(AData->szDescription, "POSIX sockets");
        std::strcpy(AData->szSystemStatus, "Running");
    }
    return 0;
}
int IDWSAPI PxWSACleanup() {
    return 0;
}

TSocket IDWSAPI PxAccept(TSocket S, TSockAddr* A, int* L) {
    socklen_t Len;
    const auto R = Checked(::accept(S, Sys(A), AsLen(L, Len)), -1);
    if (R != -1 && L != nullptr) {
        *L = static_cast<int>(Len);
    }
    return R;
}
int IDWSAPI PxBind(TSocket S, const TSockAddr* A, int L) {
    return Checked(::bind(S, Sys(A), static_cast<socklen_t>(L)), -1);
}
int IDWSAPI PxCloseSocket(TSocket S) {
    return Checked(::close(S), -1);
}
int IDWSAPI PxConnect(TSocket S, const TSockAddr* A, int L) {
    return Checked(::connect(S, Sys(A), static_cast<socklen_t>(L)), -1);
}
int IDWSAPI PxIoctlSocket(TSocket S, long Cmd, TULong* Arg) {
    constexpr long WsFionbio = static_cast<long>(0x8004667EL);
    constexpr long WsFionread = 0x4004667FL;
    if (Cmd != WsFionbio && Cmd != WsFionread) {
        LastSocketError = 10022;
        return -1;
    }
    int Value = Arg ? static_cast<int>(*Arg) : 0;
    const int R = Checked(::ioctl(S, Cmd == WsFionbio ? FIONBIO : FIONREAD, &Value), -1);
    if (Arg != nullptr) {
        *Arg = static_cast<TULong>(Value);
    }
    return R;
}
template <int (*F)(int, sockaddr*, socklen_t*)>
int IDWSAPI PxName(TSocket S, TSockAddr* A, int* L) {
    socklen_t Len;
    const int R = Checked(F(S, Sys(A), AsLen(L, Len)), -1);
    if (R != -1 && L != nullptr) {
        *L = static_cast<int>(Len);
    }
    return R;
}
int IDWSAPI PxGetSockOpt(TSocket S, int Level, int Name, char* V, int* L) {
    if (!ToSysOption(Level, Name)) {
        LastSocketError = 10042;
        return -1;
    }
    socklen_t Len;
    const int R = Checked(::getsockopt(S, Level, Name, V, AsLen(L, Len)), -1);
    if (R != -1 && L != nullptr) {
        *L = static_cast<int>(Len);
    }
    return R;
}
TULong IDWSAPI PxHtonl(TULong V) {
    return (::htonl)(V);
}
uint16_t IDWSAPI PxHtons(uint16_t V) {
    return (::htons)(V);
}
TULong IDWSAPI PxInetAddr(const char* T) {
    return ::inet_addr(T);
}
char* IDWSAPI PxInetNtoa(TInAddr A) {
    in_addr Addr;
    std::memcpy(&Addr, A.Bytes, 4);
    return ::inet_ntoa(Addr);
}
int IDWSAPI PxListen(TSocket S, int B) {
    return Checked(::listen(S, B), -1);
}
TULong IDWSAPI PxNtohl(TULong V) {
    return (::ntohl)(V);
}
uint16_t IDWSAPI PxNtohs(uint16_t V) {
    return (::ntohs)(V);
}
int IDWSAPI PxRecv(TSocket S, char* B, int L, int F) {
    return static_cast<int>(Checked(::recv(S, B, static_cast<size_t>(L), F), ssize_t{-1}));
}
int IDWSAPI PxRecvFrom(TSocket S, char* B, int L, int F, TSockAddr* A, int* AL) {
    socklen_t Len;
    const auto R =
        Checked(::recvfrom(S, B, static_cast<size_t>(L), F, Sys(A), AsLen(AL, Len)), ssize_t{-1});
    if (R != -1 && AL != nullptr) {
        *AL = static_cast<int>(Len);
    }
    return static_cast<int>(R);
}

int64_t MonotonicNs() {
    timespec Now{};
    ::clock_gettime(CLOCK_MONOTONIC, &Now);
    return int64_t{Now.tv_sec} * 1000000000 + Now.tv_nsec;
}

// The Windows-shaped sets become one poll() call: a POSIX fd_set cannot hold descriptors
// of 1024 or more. Like Windows, the result counts each set membership that is ready and
// the sets come back holding only the ready handles.
int IDWSAPI PxSelect(int, TFdSet* R, TFdSet* W, TFdSet* E, const TTimeVal* T) {
    TFdSet* Sets[3] = {R, W, E};
    const short Wanted[3] = {POLLIN, POLLOUT, POLLPRI};
    pollfd Fds[3 * FD_SETSIZE_WS];
    nfds_t Count = 0;
    for (int I = 0; I < 3; ++I) {
        if (Sets[I] == nullptr) {
            continue;
        }
        if (Sets[I]->fd_count > static_cast<uint32_t>(FD_SETSIZE_WS)) {
            LastSocketError = 10022;
            return -1;
        }
        for (uint32_t J = 0; J < Sets[I]->fd_count; ++J) {
            Fds[Count++] = pollfd{Sets[I]->fd_array[J], Wanted[I], 0};
        }
    }
    if (Count == 0) {
        LastSocketError = 10022; // as Windows: a wait needs at least one socket
        return -1;
    }
    int Timeout = -1;
    if (T != nullptr) {
        const int64_t Ms = int64_t{T->tv_sec} * 1000 + (int64_t{T->tv_usec} + 999) / 1000;
        Timeout = Ms < 0 ? 0 : (Ms > INT32_MAX ? INT32_MAX : static_cast<int>(Ms));
    }
    // A signal handled during the wait ends poll() with EINTR, SA_RESTART or not; Windows
    // knows no such interruption. The wait goes on with what is left until a deadline on the
    // monotonic clock fixed here, however many signals arrive.
    const int64_t Deadline = MonotonicNs() + int64_t{Timeout} * 1000000;
    int Wait = Timeout;
    int Polled;
    for (;;) {
        Polled = ::poll(Fds, Count, Wait);
        if (Polled != -1 || errno != EINTR) {
            break;
        }
        if (Timeout >= 0) {
            // Rounded up: the wait must not end before its deadline.
            const int64_t LeftNs = Deadline - MonotonicNs();
            Wait = LeftNs <= 0 ? 0 : static_cast<int>((LeftNs + 999999) / 1000000);
        }
    }
    if (Polled == -1) {
        LastSocketError = CodeFromErrno(errno);
        return -1;
    }
    nfds_t Index = 0;
    int Ready = 0;
    for (int I = 0; I < 3; ++I) {
        if (Sets[I] == nullptr) {
            continue;
        }
        uint32_t Kept = 0;
        const uint32_t Given = Sets[I]->fd_count;
        for (uint32_t J = 0; J < Given; ++J, ++Index) {
            const short Got = Fds[Index].revents;
            if (Got & POLLNVAL) {
                LastSocketError = 10038;
                return -1;
            }
            // A read set also reports sockets whose peer closed or that hold an error.
            const short Counts =
                I == 0 ? (POLLIN | POLLHUP | POLLERR) : (I == 1 ? (POLLOUT | POLLERR) : POLLPRI);
            if (Got & Counts) {
                Sets[I]->fd_array[Kept++] = Fds[Index].fd;
            }
        }
        Sets[I]->fd_count = Kept;
        Ready += static_cast<int>(Kept);
    }
    return Ready;
}
int IDWSAPI PxSend(TSocket S, const char* B, int L, int F) {
    return static_cast<int>(
        Checked(::send(S, B, static_cast<size_t>(L), F | MSG_NOSIGNAL), ssize_t{-1}));
}
int IDWSAPI PxSendTo(TSocket S, const char* B, int L, int F, const TSockAddr* A, int AL) {
    return static_cast<int>(Checked(::sendto(S, B, static_cast<size_t>(L), F | MSG_NOSIGNAL, Sys(A),
                                             static_cast<socklen_t>(AL)),
                                    ssize_t{-1}));
}
int IDWSAPI PxSetSockOpt(TSocket S, int Level, int Name, const char* V, int L) {
    if (!ToSysOption(Level, Name)) {
        LastSocketError = 10042;
        return -1;
    }
    return Checked(::setsockopt(S, Level, Name, V, static_cast<socklen_t>(L)), -1);
}
int IDWSAPI PxShutdown(TSocket S, int How) {
    return Checked(::shutdown(S, How), -1);
}
TSocket IDWSAPI PxSocket(int Family, int Type, int Protocol) {
    // The raw-socket privilege is in force for this one call only.
    const TRawPrivilege Privilege(Type == SOCK_RAW);
    // Windows sockets are not inherited by child processes; keep it that way here.
    return Checked(::socket(Family, Type | SOCK_CLOEXEC, Protocol), -1);
}
THostEnt* IDWSAPI PxGetHostByAddr(const char* A, int L, int T) {
    auto* R = FromSys(::gethostbyaddr(A, static_cast<socklen_t>(L), T));
    if (R == nullptr) {
        LastSocketError = HostErrorCode(h_errno);
    }
    return R;
}
THostEnt* IDWSAPI PxGetHostByName(const char* N) {
    auto* R = FromSys(::gethostbyname(N));
    if (R == nullptr) {
        LastSocketError = HostErrorCode(h_errno);
    }
    return R;
}
int IDWSAPI PxGetHostName(char* B, int L) {
    return Checked(::gethostname(B, static_cast<size_t>(L)), -1);
}
TServEnt* IDWSAPI PxGetServByPort(int P, const char* Proto) {
    auto* R = FromSys(::getservbyport(P, Proto));
    if (R == nullptr) {
        LastSocketError = 11004;
    }
    return R;
}
TServEnt* IDWSAPI PxGetServByName(const char* N, const char* Proto) {
    auto* R = FromSys(::getservbyname(N, Proto));
    if (R == nullptr) {
        LastSocketError = 11004;
    }
    return R;
}
TProtoEnt* IDWSAPI PxGetProtoByNumber(int N) {
    return FromSys(::getprotobynumber(N));
}
TProtoEnt* IDWSAPI PxGetProtoByName(const char* N) {
    return FromSys(::getprotobyname(N));
}
void IDWSAPI PxWSASetLastError(int C) {
    LastSocketError = C;
}
int IDWSAPI PxWSAGetLastError() {
    return LastSocketError;
}
int IDWSAPI PxFDIsSet(TSocket S, TFdSet* Set) {
    for (uint32_t I = 0; I < Set->fd_count; ++I) {
        if (Set->fd_array[I] == S) {
            return 1;
        }
    }
    return 0;
}

struct TExport {
    const char* Name;
    TProc Proc;
};
template <typename F> TProc P(F AProc) {
    return reinterpret_cast<TProc>(AProc);
}

const TExport Exports[] = {
    {"WSAStartup", P(&PxWSAStartup)},
    {"WSACleanup", P(&PxWSACleanup)},
    {"accept", P(&PxAccept)},
    {"bind", P(&PxBind)},
    {"closesocket", P(&PxCloseSocket)},
    {"connect", P(&PxConnect)},
    {"ioctlsocket", P(&PxIoctlSocket)},
    {"getpeername", P(&PxName<::getpeername>)},
    {"getsockname", P(&PxName<::getsockname>)},
    {"getsockopt", P(&PxGetSockOpt)},
    {"htonl", P(&PxHtonl)},
    {"htons", P(&PxHtons)},
    {"inet_addr", P(&PxInetAddr)},
    {"inet_ntoa", P(&PxInetNtoa)},
    {"listen", P(&PxListen)},
    {"ntohl", P(&PxNtohl)},
    {"ntohs", P(&PxNtohs)},
    {"recv", P(&PxRecv)},
    {"recvfrom", P(&PxRecvFrom)},
    {"select", P(&PxSelect)},
    {"send", P(&PxSend)},
    {"sendto", P(&PxSendTo)},
    {"setsockopt", P(&PxSetSockOpt)},
    {"shutdown", P(&PxShutdown)},
    {"socket", P(&PxSocket)},
    {"gethostbyaddr", P(&PxGetHostByAddr)},
    {"gethostbyname", P(&PxGetHostByName)},
    {"gethostname", P(&PxGetHostName)},
    {"getservbyport", P(&PxGetServByPort)},
    {"getservbyname", P(&PxGetServByName)},
    {"getprotobynumber", P(&PxGetProtoByNumber)},
    {"getprotobyname", P(&PxGetProtoByName)},
    {"WSASetLastError", P(&PxWSASetLastError)},
    {"WSAGetLastError", P(&PxWSAGetLastError)},
    {"__WSAFDIsSet", P(&PxFDIsSet)},
};

IdPlatform::TModule PosixLoad(const char* AName) {
    // Library names are case-insensitive, as on Windows.
    if (::strcasecmp(AName, IdResourceStrings::RSWS2LibraryName) == 0) {
        return const_cast<TExport*>(&Exports[0]);
    }
    LastLoaderError = ErrorModNotFound;
    return nullptr;
}

IdPlatform::TEntry PosixFindEntry(IdPlatform::TModule AModule, const char* AName) {
    // Entry names are case-sensitive, as GetProcAddress's are.
    for (const auto* E = static_cast<const TExport*>(AModule); E != std::end(Exports); ++E) {
        if (std::strcmp(E->Name, AName) == 0) {
            return E->Proc;
        }
    }
    LastLoaderError = ErrorProcNotFound;
    return nullptr;
}
void PosixFree(IdPlatform::TModule) {}
uint32_t PosixLastError() {
    return LastLoaderError;
}

const IdPlatform::TLibraryLoader PosixLoader{&PosixLoad, &PosixFindEntry, &PosixFree,
                                             &PosixLastError};

std::wstring Widen(const std::string& AText, bool& AOk) {
    std::mbstate_t State{};
    const char* Src = AText.c_str();
    std::wstring Result;
    Result.reserve(AText.size());
    const char* End = Src + AText.size();
    while (Src < End) {
        wchar_t W;
        const size_t N = std::mbrtowc(&W, Src, static_cast<size_t>(End - Src), &State);
        if (N == static_cast<size_t>(-1) || N == static_cast<size_t>(-2)) {
            AOk = false;
            return {};
        }
        Result.push_back(N == 0 ? L'\0' : W);
        Src += N == 0 ? 1 : N;
    }
    return Result;
}
} // namespace

namespace IdPlatform {

const TLibraryLoader& SystemLibraryLoader() {
    return PosixLoader;
}

std::string SystemErrorMessage(uint32_t ACode) {
    switch (ACode) {
    case ErrorModNotFound:
        return "The specified module could not be found.";
    case ErrorProcNotFound:
        return "The specified procedure could not be found.";
    default:
        break;
    }
    const int Errno = ErrnoFromCode(ACode);
    if (Errno == 0) {
        return {};
    }
    char Buffer[256];
    // The GNU strerror_r returns its text, which may not be the buffer.
    return ::strerror_r(Errno, Buffer, sizeof Buffer);
}

uint32_t TickCount() {
    timespec Now{};
    ::clock_gettime(CLOCK_MONOTONIC, &Now);
    const uint64_t Ms =
        static_cast<uint64_t>(Now.tv_sec) * 1000u + static_cast<uint64_t>(Now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(Ms);
}

uint32_t CurrentProcessId() {
    return static_cast<uint32_t>(::getpid());
}

bool SameTextLocale(std::string_view A, std::string_view B) {
    const auto SameAsciiFolded = [](unsigned char CA, unsigned char CB) {
        const unsigned char Lower = CA | 0x20;
        return CA == CB || (Lower == (CB | 0x20) && Lower >= 'a' && Lower <= 'z');
    };
    // Byte for byte with only ASCII letters folded; unlike strncasecmp, a zero byte does
    // not end the comparison.
    const auto SameFoldingAscii = [&](std::string_view X, std::string_view Y) {
        if (X.size() != Y.size()) {
            return false;
        }
        for (size_t I = 0; I < X.size(); ++I) {
            if (!SameAsciiFolded(static_cast<unsigned char>(X[I]),
                                 static_cast<unsigned char>(Y[I]))) {
                return false;
            }
        }
        return true;
    };
    // ASCII folds the same in every locale but the Turkic ones (where "I" lowers to a
    // dotless i), and needs no wide copies: the host list's display-name lookup compares
    // the typed text with every entry of lists a million entries long. While both texts
    // are ASCII their characters are their bytes, so the first difference decides.
    const size_t Common = A.size() < B.size() ? A.size() : B.size();
    size_t Pos = 0;
    for (; Pos < Common; ++Pos) {
        const auto CA = static_cast<unsigned char>(A[Pos]);
        const auto CB = static_cast<unsigned char>(B[Pos]);
        if ((CA | CB) >= 0x80) {
            break; // the locale decides from here
        }
        if (!SameAsciiFolded(CA, CB)) {
            return false;
        }
    }
    if (Pos == Common) {
        const std::string_view Rest = A.size() > B.size() ? A.substr(Pos) : B.substr(Pos);
        unsigned char Any = 0;
        for (const char C : Rest) {
            Any |= static_cast<unsigned char>(C);
        }
        if (Any < 0x80) {
            return Rest.empty(); // the longer text goes on in ASCII: no locale makes that equal
        }
    }
    bool Ok = true;
    const std::wstring WA = Widen(std::string(A), Ok);
    const std::wstring WB = Widen(std::string(B), Ok);
    if (!Ok) {
        // Text that is not valid in the locale's encoding compares byte for byte, ASCII
        // letters folded.
        return SameFoldingAscii(A, B);
    }
    if (WA.size() != WB.size()) {
        return false;
    }
    for (size_t I = 0; I < WA.size(); ++I) {
        if (std::towlower(static_cast<wint_t>(WA[I])) !=
            std::towlower(static_cast<wint_t>(WB[I]))) {
            return false;
        }
    }
    return true;
}

std::string ExecutablePath() {
    // The kernel's own record of the running file, with its links resolved.
    std::string Path(256, '\0');
    for (;;) {
        const ssize_t N = ::readlink("/proc/self/exe", Path.data(), Path.size());
        if (N < 0) {
            return {};
        }
        if (static_cast<size_t>(N) < Path.size()) {
            Path.resize(static_cast<size_t>(N));
            return Path;
        }
        Path.resize(Path.size() * 2); // readlink cuts without saying so
    }
}

} // namespace IdPlatform
