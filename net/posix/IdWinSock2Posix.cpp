// POSIX side of the socket binding: the "library" is a table of adapters with the Windows
// Sockets signatures over the C library's calls. Every adapter that fails records the
// Windows Sockets code of its errno, so WSAGetLastError reports what Windows would.
#include "net/IdWinSock2.h"
#include "net/posix/DescriptorTable.h"
#include "net/posix/EchoHelperSocketPosix.h"
#include "net/posix/Icmp6RawPosix.h"
#include "net/posix/IcmpDatagramPosix.h"
#include "net/posix/PosixSockets.h"
#include "net/posix/RawPrivilege.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
using namespace IdWinSock2;
using IdPosix::CodeFromErrno;
using IdPosix::HostErrorCode;
using IdPosix::ToSysOption;

thread_local int LastSocketError = 0;

// Every adapter that fails records the code the way WSAGetLastError will report it.
template <typename R> R Checked(R AResult, R AFailure) {
    if (AResult == AFailure) {
        LastSocketError = CodeFromErrno(errno);
    }
    return AResult;
}

// The ICMP sockets opened here (raw, datagram or through the helper), as far as these
// adapters changed them. The echo client opens one for each exchange, sets its TTL again at
// every step, and shuts it down before closing it without ever connecting it: each a call
// that changes nothing, together as dear as the exchange's own system calls.
struct TIcmpNote {
    int Ttl = 0;
    uint8_t TtlLevel = 0; // IPPROTO_IP (IP_TTL) or IPPROTO_IPV6 (IPV6_UNICAST_HOPS)
    bool TtlKnown = false;
    bool Connected = false;
};
IdPosix::TDescriptorTable<TIcmpNote> Notes;

// A descriptor number once an ICMP socket's may now name any other socket.
void NoteOpened(TSocket S, bool AIcmp) {
    if (S == INVALID_SOCKET_WS) {
        return;
    }
    if (AIcmp) {
        Notes.Put(S, TIcmpNote{});
    } else {
        Notes.Erase(S);
    }
}

// The noted state when S is a noted socket.
bool NoteOf(TSocket S, TIcmpNote& ANote) {
    return Notes.Get(S, ANote);
}

template <typename F> void ChangeNote(TSocket S, F AChange) {
    Notes.Change(S, AChange);
}

::sockaddr* Sys(TSockAddr* A) {
    return reinterpret_cast<::sockaddr*>(A);
}
const ::sockaddr* Sys(const TSockAddr* A) {
    return reinterpret_cast<const ::sockaddr*>(A);
}
static_assert(sizeof(TSockAddr) == sizeof(::sockaddr));
static_assert(sizeof(TSockAddrIn6) == sizeof(::sockaddr_in6));

// Windows numbers the IPv6 family 23 and Linux 10; the records are the same otherwise.
constexpr int WsInet6 = 23;

int SysFamily(int AFamily) {
    return AFamily == WsInet6 ? AF_INET6 : AFamily;
}

// An address going to the C library: an IPv6 one copied into AStore with Linux's number.
const ::sockaddr* SysIn(const TSockAddr* A, int L, ::sockaddr_in6& AStore) {
    uint16_t Family = 0;
    if (A != nullptr && L >= static_cast<int>(sizeof AStore)) {
        std::memcpy(&Family, A, sizeof Family);
    }
    if (Family != WsInet6) {
        return Sys(A);
    }
    std::memcpy(&AStore, A, sizeof AStore);
    AStore.sin6_family = AF_INET6;
    return reinterpret_cast<const ::sockaddr*>(&AStore);
}

// An address coming back from the C library, written in place with Windows' number.
void WsOut(TSockAddr* A, socklen_t L) {
    uint16_t Family = 0;
    if (A == nullptr || L < sizeof Family) {
        return;
    }
    std::memcpy(&Family, A, sizeof Family);
    if (Family == AF_INET6) {
        Family = WsInet6;
        std::memcpy(A, &Family, sizeof Family);
    }
}

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
        WsOut(A, Len);
    }
    return R;
}
int IDWSAPI PxBind(TSocket S, const TSockAddr* A, int L) {
    if (IdPosix::IsHelperSocket(S)) {
        // The helper's socket sends from whatever address the route gives.
        LastSocketError = CodeFromErrno(EOPNOTSUPP);
        return -1;
    }
    ::sockaddr_in6 Six;
    return Checked(::bind(S, SysIn(A, L, Six), static_cast<socklen_t>(L)), -1);
}
int IDWSAPI PxCloseSocket(TSocket S) {
    Notes.Erase(S);
    if (IdPosix::IsHelperSocket(S)) {
        return Checked(IdPosix::CloseHelperSocket(S), -1);
    }
    IdPosix::ForgetIcmpDatagram(S);
    IdPosix::ForgetIcmp6Raw(S);
    return Checked(::close(S), -1);
}
int IDWSAPI PxConnect(TSocket S, const TSockAddr* AWs, int L) {
    ::sockaddr_in6 Six;
    const auto* A = reinterpret_cast<const TSockAddr*>(SysIn(AWs, L, Six));
    if (IdPosix::IsHelperSocket(S)) {
        return Checked(IdPosix::ConnectHelperSocket(S, Sys(A), static_cast<socklen_t>(L)), -1);
    }
    if (IdPosix::IsIcmpDatagram(S)) {
        return Checked(IdPosix::ConnectIcmpDatagram(S, Sys(A), static_cast<socklen_t>(L)), -1);
    }
    // Failed, it may still have dissolved an earlier association: the kernel is asked again.
    ChangeNote(S, [](TIcmpNote& ANote) { ANote.Connected = true; });
    return Checked(::connect(S, Sys(A), static_cast<socklen_t>(L)), -1);
}
int IDWSAPI PxIoctlSocket(TSocket S, long Cmd, TULong* Arg) {
    constexpr long WsFionbio = static_cast<long>(0x8004667EL);
    constexpr long WsFionread = 0x4004667FL;
    if (Cmd != WsFionbio && Cmd != WsFionread) {
        LastSocketError = Id_WSAEINVAL;
        return -1;
    }
    int Value = Arg ? static_cast<int>(*Arg) : 0;
    if (Cmd == WsFionbio && IdPosix::IsHelperSocket(S)) {
        // The descriptor shares its flags with the channel: the socket keeps its own.
        return IdPosix::SetHelperSocketNonBlocking(S, Value != 0);
    }
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
        WsOut(A, Len);
    }
    return R;
}
int IDWSAPI PxGetSockOpt(TSocket S, int Level, int Name, char* V, int* L) {
    if (!ToSysOption(Level, Name)) {
        LastSocketError = Id_WSAENOPROTOOPT;
        return -1;
    }
    socklen_t Len;
    const int R = Checked(IdPosix::IsHelperSocket(S)
                              ? IdPosix::GetHelperSocketOption(S, Level, Name, V, AsLen(L, Len))
                              : ::getsockopt(S, Level, Name, V, AsLen(L, Len)),
                          -1);
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
    if (IdPosix::IsHelperSocket(S)) {
        return static_cast<int>(Checked(
            IdPosix::ReceiveThroughHelper(S, B, static_cast<size_t>(L), F, nullptr, nullptr),
            ssize_t{-1}));
    }
    if (IdPosix::IsIcmpDatagram(S)) {
        return static_cast<int>(
            Checked(IdPosix::ReceiveIcmpDatagram(S, B, static_cast<size_t>(L), F, nullptr, nullptr),
                    ssize_t{-1}));
    }
    if (IdPosix::IsIcmp6Raw(S)) {
        return static_cast<int>(
            Checked(IdPosix::ReceiveIcmp6Raw(S, B, static_cast<size_t>(L), F, nullptr, nullptr),
                    ssize_t{-1}));
    }
    return static_cast<int>(Checked(::recv(S, B, static_cast<size_t>(L), F), ssize_t{-1}));
}
int IDWSAPI PxRecvFrom(TSocket S, char* B, int L, int F, TSockAddr* A, int* AL) {
    socklen_t Len;
    const auto R = Checked(
        IdPosix::IsHelperSocket(S)
            ? IdPosix::ReceiveThroughHelper(S, B, static_cast<size_t>(L), F, Sys(A), AsLen(AL, Len))
        : IdPosix::IsIcmpDatagram(S)
            ? IdPosix::ReceiveIcmpDatagram(S, B, static_cast<size_t>(L), F, Sys(A), AsLen(AL, Len))
        : IdPosix::IsIcmp6Raw(S)
            ? IdPosix::ReceiveIcmp6Raw(S, B, static_cast<size_t>(L), F, Sys(A), AsLen(AL, Len))
            : ::recvfrom(S, B, static_cast<size_t>(L), F, Sys(A), AsLen(AL, Len)),
        ssize_t{-1});
    if (R != -1 && AL != nullptr) {
        *AL = static_cast<int>(Len);
        WsOut(A, Len);
    }
    return static_cast<int>(R);
}

int IDWSAPI PxSend(TSocket S, const char* B, int L, int F) {
    if (IdPosix::IsHelperSocket(S)) {
        return static_cast<int>(Checked(
            IdPosix::SendThroughHelper(S, B, static_cast<size_t>(L), nullptr, 0), ssize_t{-1}));
    }
    return static_cast<int>(
        Checked(::send(S, B, static_cast<size_t>(L), F | MSG_NOSIGNAL), ssize_t{-1}));
}
int IDWSAPI PxSendTo(TSocket S, const char* B, int L, int F, const TSockAddr* AWs, int AL) {
    ::sockaddr_in6 Six;
    const auto* A = reinterpret_cast<const TSockAddr*>(SysIn(AWs, AL, Six));
    if (IdPosix::IsHelperSocket(S)) {
        return static_cast<int>(
            Checked(IdPosix::SendThroughHelper(S, B, static_cast<size_t>(L), Sys(A),
                                               static_cast<socklen_t>(AL)),
                    ssize_t{-1}));
    }
    if (IdPosix::IsIcmpDatagram(S)) {
        return static_cast<int>(
            Checked(IdPosix::SendIcmpDatagram(S, B, static_cast<size_t>(L), F | MSG_NOSIGNAL,
                                              Sys(A), static_cast<socklen_t>(AL)),
                    ssize_t{-1}));
    }
    return static_cast<int>(Checked(::sendto(S, B, static_cast<size_t>(L), F | MSG_NOSIGNAL, Sys(A),
                                             static_cast<socklen_t>(AL)),
                                    ssize_t{-1}));
}
// The option where the socket keeps it: the helper or the datagram socket, else the kernel.
int SetOption(TSocket S, int Level, int Name, const char* V, int L) {
    if (IdPosix::IsHelperSocket(S)) {
        return Checked(IdPosix::SetHelperSocketOption(S, Level, Name, V, static_cast<socklen_t>(L)),
                       -1);
    }
    if (IdPosix::IsIcmpDatagram(S)) {
        return Checked(IdPosix::SetIcmpDatagramOption(S, Level, Name, V, static_cast<socklen_t>(L)),
                       -1);
    }
    return Checked(::setsockopt(S, Level, Name, V, static_cast<socklen_t>(L)), -1);
}
int IDWSAPI PxSetSockOpt(TSocket S, int Level, int Name, const char* V, int L) {
    // The IPv6 hop limit is the same step of the exchange as the TTL. Windows numbers both
    // options 4 at the levels that Linux numbers alike: the note is asked first, as the echo
    // client sets the same TTL again at every step.
    constexpr int WsTtlName = 4;
    const bool IsTtl = (Level == IPPROTO_IP || Level == IPPROTO_IPV6) && Name == WsTtlName &&
                       L == sizeof(int) && V != nullptr;
    int Ttl = 0;
    if (IsTtl) {
        std::memcpy(&Ttl, V, sizeof Ttl);
        if (TIcmpNote Noted;
            NoteOf(S, Noted) && Noted.TtlKnown && Noted.TtlLevel == Level && Noted.Ttl == Ttl) {
            return 0;
        }
    }
    if (!ToSysOption(Level, Name)) {
        LastSocketError = Id_WSAENOPROTOOPT;
        return -1;
    }
    const int Result = SetOption(S, Level, Name, V, L);
    if (IsTtl && Result == 0) {
        ChangeNote(S, [Level, Ttl](TIcmpNote& ANote) {
            ANote.TtlKnown = true;
            ANote.TtlLevel = static_cast<uint8_t>(Level);
            ANote.Ttl = Ttl;
        });
    }
    return Result;
}
int IDWSAPI PxShutdown(TSocket S, int How) {
    // What the kernel (and the datagram and helper sockets after it) answers for a socket
    // that was never connected.
    if (TIcmpNote Noted; NoteOf(S, Noted) && !Noted.Connected) {
        LastSocketError = CodeFromErrno(ENOTCONN);
        return -1;
    }
    if (IdPosix::IsHelperSocket(S)) {
        return Checked(IdPosix::ShutdownHelperSocket(S, How), -1);
    }
    if (IdPosix::IsIcmpDatagram(S)) {
        return Checked(IdPosix::ShutdownIcmpDatagram(S, How), -1);
    }
    return Checked(::shutdown(S, How), -1);
}
TSocket IDWSAPI PxSocket(int AWsFamily, int Type, int Protocol) {
    const int Family = SysFamily(AWsFamily);
    // A process that gave its privilege to the echo helper holds none of its own to raise:
    // its raw ICMP goes through the helper. A helper that has ended refuses like a raw
    // socket, so that the datagram socket is tried.
    if (IdPosix::GoesThroughHelper(Family, Type, Protocol)) {
        TSocket S = Checked(IdPosix::OpenHelperSocket(Family), -1);
        S = S != -1 ? S : Checked(IdPosix::IcmpDatagramInstead(Family, Type, Protocol), -1);
        NoteOpened(S, true);
        return S;
    }
    // Raw ICMP refused for want of privilege: an ICMP datagram socket where the system allows
    // one, at once when this thread was refused before. Refused too, the raw socket's errno
    // and code stand.
    if (IdPosix::RawIcmpRefusedBefore(Family, Type, Protocol)) {
        const TSocket S = Checked(IdPosix::IcmpDatagramInstead(Family, Type, Protocol), -1);
        NoteOpened(S, true);
        return S;
    }
    TSocket S;
    {
        // The raw-socket privilege is in force for this one call only.
        const TRawPrivilege Privilege(Type == SOCK_RAW);
        // Windows sockets are not inherited by child processes; keep it that way here.
        S = Checked(::socket(Family, Type | SOCK_CLOEXEC, Protocol), -1);
    }
    bool Icmp = S != -1 && Type == SOCK_RAW && Protocol == IPPROTO_ICMP;
    if (S != -1 && Family == AF_INET6 && Type == SOCK_RAW && Protocol == IPPROTO_ICMPV6) {
        if (IdPosix::SetUpIcmp6Raw(S) != 0) {
            const int SetUpErrno = errno;
            ::close(S);
            errno = SetUpErrno;
            S = Checked(-1, -1);
        }
        Icmp = S != -1;
    }
    if (S == -1) {
        S = Checked(IdPosix::IcmpDatagramInstead(Family, Type, Protocol), -1);
        Icmp = true;
    }
    NoteOpened(S, Icmp);
    return S;
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
        LastSocketError = Id_WSANO_DATA;
    }
    return R;
}
TServEnt* IDWSAPI PxGetServByName(const char* N, const char* Proto) {
    auto* R = FromSys(::getservbyname(N, Proto));
    if (R == nullptr) {
        LastSocketError = Id_WSANO_DATA;
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
    {"select", P(&IdPosix::PollSets)},
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

} // namespace

namespace IdPosix {

void SetLastSocketError(int ACode) {
    LastSocketError = ACode;
}

IdPlatform::TEntry FindSocketAdapter(const char* AName) {
    for (const auto& E : Exports) {
        if (std::strcmp(E.Name, AName) == 0) {
            return E.Proc;
        }
    }
    return nullptr;
}

} // namespace IdPosix
