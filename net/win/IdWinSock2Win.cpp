#include "net/win/IdWinSock2Win.h"

#include "net/IcmpFrames.h"
#include "net/IdStack.h"
#include "net/win/IcmpApiWin.h"

#include <mswsock.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace IdWin {
namespace {

using IcmpFrames::IcmpHeaderBytes;
using IcmpFrames::Ipv6HeaderBytes;

// The socket library's own entries the adapters go on to.
enum TSlot { sSocket, sClose, sConnect, sSetOpt, sSendTo, sRecv, sRecvFrom, sSelect, sShutdown };
std::array<std::atomic<IdPlatform::TEntry>, 9> Library{};
template <typename F> F Own(TSlot ASlot) {
    return reinterpret_cast<F>(Library[ASlot].load());
}

std::mutex StandInsLock;
std::map<SOCKET, std::shared_ptr<TStandIn>> StandIns;

std::shared_ptr<TStandIn> StandIn(SOCKET ASocket) {
    const std::lock_guard Guard(StandInsLock);
    const auto It = StandIns.find(ASocket);
    return It == StandIns.end() ? nullptr : It->second;
}

int Failed(int ACode) {
    ::SetLastError(static_cast<DWORD>(ACode));
    return SOCKET_ERROR;
}

// Raw ICMPv6 sockets that the library gave. Windows reads an ICMPv6 message alone, its
// sender from the address and its hop limit only as a control message of WSARecvMsg; the
// adapters put the IPv6 header in front, as every ICMPv6 socket of this program reads.
// WSARecvMsg is had only through WSAIoctl: null where that fails, and the hop limit 0.
std::map<SOCKET, LPFN_WSARECVMSG> Raw6Sockets;

std::optional<LPFN_WSARECVMSG> Raw6(SOCKET ASocket) {
    const std::lock_guard Guard(StandInsLock);
    const auto It = Raw6Sockets.find(ASocket);
    return It == Raw6Sockets.end() ? std::nullopt : std::optional(It->second);
}

void SetUpRaw6(SOCKET ASocket) {
    const auto OwnSetOpt = Own<int(WSAAPI*)(SOCKET, int, int, const char*, int)>(sSetOpt);
    const DWORD On = 1;
    for (const int Option : {IPV6_HOPLIMIT, IPV6_PKTINFO}) {
        // Refused, the fact is missing from the header and stays 0, as where nobody tells.
        OwnSetOpt(ASocket, IPPROTO_IPV6, Option, reinterpret_cast<const char*>(&On), sizeof On);
    }
    LPFN_WSARECVMSG RecvMsg = nullptr;
    using TIoctl = int(WSAAPI*)(SOCKET, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD,
                                LPWSAOVERLAPPED, LPWSAOVERLAPPED_COMPLETION_ROUTINE);
    const auto Ioctl = reinterpret_cast<TIoctl>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ws2_32.dll"), "WSAIoctl")));
    GUID Id = WSAID_WSARECVMSG;
    DWORD Bytes = 0;
    if (Ioctl == nullptr || Ioctl(ASocket, SIO_GET_EXTENSION_FUNCTION_POINTER, &Id, sizeof Id,
                                  &RecvMsg, sizeof RecvMsg, &Bytes, nullptr, nullptr) != 0) {
        RecvMsg = nullptr;
    }
    const std::lock_guard Guard(StandInsLock);
    Raw6Sockets[ASocket] = RecvMsg;
}

// One message with its IPv6 header in front, cut to ALength as Windows cuts a datagram: the
// buffer filled, the call failed with WSAEMSGSIZE.
int ReceiveRaw6(SOCKET ASocket, LPFN_WSARECVMSG ARecvMsg, char* ABuffer, int ALength, int AFlags,
                sockaddr* AFrom, int* AFromLength) {
    constexpr size_t Room = 65536 + Ipv6HeaderBytes;
    thread_local std::unique_ptr<uint8_t[]> Whole;
    if (!Whole) {
        Whole = std::make_unique<uint8_t[]>(Room);
    }
    uint8_t* const Out = Whole.get();
    char* const Message = reinterpret_cast<char*>(Out + Ipv6HeaderBytes);
    sockaddr_in6 Sender{};
    IcmpFrames::TMessage6Facts Facts;
    DWORD Count = 0;
    if (ARecvMsg != nullptr) {
        struct {
            alignas(WSACMSGHDR) char Bytes[WSA_CMSG_SPACE(sizeof(INT)) +
                                           WSA_CMSG_SPACE(sizeof(IN6_PKTINFO))];
        } Control{};
        WSABUF Data{static_cast<ULONG>(Room - Ipv6HeaderBytes), Message};
        WSAMSG Header{};
        Header.name = reinterpret_cast<sockaddr*>(&Sender);
        Header.namelen = sizeof Sender;
        Header.lpBuffers = &Data;
        Header.dwBufferCount = 1;
        Header.Control = {sizeof Control.Bytes, Control.Bytes};
        Header.dwFlags = static_cast<DWORD>(AFlags);
        if (ARecvMsg(ASocket, &Header, &Count, nullptr, nullptr) == SOCKET_ERROR) {
            return SOCKET_ERROR;
        }
        for (WSACMSGHDR* C = WSA_CMSG_FIRSTHDR(&Header); C != nullptr;
             C = WSA_CMSG_NXTHDR(&Header, C)) {
            if (C->cmsg_level == IPPROTO_IPV6 && C->cmsg_type == IPV6_HOPLIMIT) {
                INT Hops = 0;
                std::memcpy(&Hops, WSA_CMSG_DATA(C), sizeof Hops);
                Facts.HopLimit = static_cast<uint8_t>(Hops);
            } else if (C->cmsg_level == IPPROTO_IPV6 && C->cmsg_type == IPV6_PKTINFO) {
                IN6_PKTINFO Info;
                std::memcpy(&Info, WSA_CMSG_DATA(C), sizeof Info);
                std::memcpy(Facts.Destination, &Info.ipi6_addr, 16);
            }
        }
    } else {
        int Length = sizeof Sender;
        const int Got = Own<int(WSAAPI*)(SOCKET, char*, int, int, sockaddr*, int*)>(sRecvFrom)(
            ASocket, Message, static_cast<int>(Room - Ipv6HeaderBytes), AFlags,
            reinterpret_cast<sockaddr*>(&Sender), &Length);
        if (Got == SOCKET_ERROR) {
            return SOCKET_ERROR;
        }
        Count = static_cast<DWORD>(Got);
    }
    std::memcpy(Facts.Source, &Sender.sin6_addr, 16);
    IcmpFrames::FrameMessage6(Facts, {Out, Ipv6HeaderBytes + Count}, Count, {}, {});
    if (AFrom != nullptr && AFromLength != nullptr) {
        if (*AFromLength < static_cast<int>(sizeof Sender)) {
            return Failed(WSAEFAULT);
        }
        std::memcpy(AFrom, &Sender, sizeof Sender);
        *AFromLength = sizeof Sender;
    }
    const size_t Whole6 = Ipv6HeaderBytes + Count;
    const size_t Kept = std::min(Whole6, static_cast<size_t>(std::max(ALength, 0)));
    if (Kept > 0) {
        std::memcpy(ABuffer, Out, Kept);
    }
    if (Kept < Whole6) {
        return Failed(WSAEMSGSIZE);
    }
    return static_cast<int>(Kept);
}

SOCKET WSAAPI AdSocket(int AFamily, int AType, int AProtocol) {
    const auto OwnSocket = Own<SOCKET(WSAAPI*)(int, int, int)>(sSocket);
    const SOCKET Socket = OwnSocket(AFamily, AType, AProtocol);
    const bool Icmp6 = AFamily == AF_INET6 && AType == SOCK_RAW && AProtocol == IPPROTO_ICMPV6;
    if (Socket != INVALID_SOCKET) {
        if (Icmp6) {
            SetUpRaw6(Socket);
        }
        return Socket;
    }
    const DWORD Refusal = ::GetLastError();
    const bool Icmp4 = AFamily == AF_INET && AType == SOCK_RAW && AProtocol == IPPROTO_ICMP;
    // Wine's socket server knows no raw ICMPv6 at all and refuses the protocol, even to
    // root: the API is the way there too.
    if (!(Icmp4 && Refusal == WSAEACCES) &&
        !(Icmp6 && (Refusal == WSAEACCES || Refusal == WSAEPROTONOSUPPORT))) {
        return Socket;
    }
    auto Opened = Icmp6 ? OpenIcmp6Api() : OpenIcmpApi();
    const SOCKET Handle = Opened ? OwnSocket(AF_INET, SOCK_DGRAM, IPPROTO_UDP) : INVALID_SOCKET;
    if (Handle == INVALID_SOCKET) {
        // Both ways refused: the raw socket's refusal stands.
        ::SetLastError(Refusal);
        return INVALID_SOCKET;
    }
    const std::lock_guard Guard(StandInsLock);
    StandIns[Handle] = std::move(Opened);
    return Handle;
}

int WSAAPI AdClose(SOCKET ASocket) {
    {
        const std::lock_guard Guard(StandInsLock);
        StandIns.erase(ASocket);
        Raw6Sockets.erase(ASocket);
    }
    return Own<int(WSAAPI*)(SOCKET)>(sClose)(ASocket);
}

int WSAAPI AdConnect(SOCKET ASocket, const sockaddr* ATo, int ALength) {
    const auto Stand = StandIn(ASocket);
    if (!Stand) {
        return Own<int(WSAAPI*)(SOCKET, const sockaddr*, int)>(sConnect)(ASocket, ATo, ALength);
    }
    if (Stand->Ip6) {
        if (ATo == nullptr || ALength < static_cast<int>(sizeof(sockaddr_in6)) ||
            ATo->sa_family != AF_INET6) {
            return Failed(WSAEAFNOSUPPORT);
        }
        sockaddr_in6 Peer;
        std::memcpy(&Peer, ATo, sizeof Peer);
        Stand->Peer6 = Peer;
        return 0;
    }
    if (ATo == nullptr || ALength < static_cast<int>(sizeof(sockaddr_in)) ||
        ATo->sa_family != AF_INET) {
        return Failed(WSAEAFNOSUPPORT);
    }
    sockaddr_in Peer;
    std::memcpy(&Peer, ATo, sizeof Peer);
    Stand->Peer = Peer;
    return 0;
}

int WSAAPI AdSetOpt(SOCKET ASocket, int ALevel, int AName, const char* AValue, int ALength) {
    const auto Stand = StandIn(ASocket);
    const bool Hops =
        Stand && (Stand->Ip6 ? ALevel == Id_IPPROTO_IPV6 && AName == Id_IPV6_UNICAST_HOPS
                             : ALevel == Id_IPPROTO_IP && AName == Id_IP_TTL);
    if (Hops) {
        int Ttl = 0;
        if (AValue == nullptr || ALength < 1) {
            return Failed(WSAEFAULT);
        }
        std::memcpy(&Ttl, AValue, static_cast<size_t>(std::min(ALength, 4)));
        if (Ttl < 1 || Ttl > 255) {
            return Failed(WSAEINVAL);
        }
        Stand->Ttl = static_cast<uint8_t>(Ttl);
        return 0;
    }
    // Socket-level options the stand-in's own handle takes as any socket does.
    return Own<int(WSAAPI*)(SOCKET, int, int, const char*, int)>(sSetOpt)(ASocket, ALevel, AName,
                                                                          AValue, ALength);
}

int SendTo6(TStandIn& AStandIn, const char* ABuffer, int ALength, const sockaddr* ATo,
            int AToLength) {
    sockaddr_in6 Target;
    if (ATo != nullptr) {
        if (AToLength < static_cast<int>(sizeof Target) || ATo->sa_family != AF_INET6) {
            return Failed(WSAEFAULT);
        }
        std::memcpy(&Target, ATo, sizeof Target);
    } else if (AStandIn.Peer6) {
        Target = *AStandIn.Peer6;
    } else {
        return Failed(WSAEDESTADDRREQ);
    }
    if (AStandIn.Unavailable != 0) {
        return Failed(static_cast<int>(AStandIn.Unavailable));
    }
    // As the IPv4 API: echo requests only, at most 65500 bytes of data.
    if (ABuffer == nullptr || ALength < static_cast<int>(IcmpHeaderBytes) ||
        ALength > 65500 + static_cast<int>(IcmpHeaderBytes) ||
        static_cast<uint8_t>(ABuffer[0]) != 128) {
        return Failed(WSAEINVAL);
    }
    AStandIn.Target6 = Target;
    AStandIn.Request.assign(ABuffer, ABuffer + ALength);
    AStandIn.Datagram.clear();
    return ALength;
}

int WSAAPI AdSendTo(SOCKET ASocket, const char* ABuffer, int ALength, int AFlags,
                    const sockaddr* ATo, int AToLength) {
    const auto Stand = StandIn(ASocket);
    if (!Stand) {
        return Own<int(WSAAPI*)(SOCKET, const char*, int, int, const sockaddr*, int)>(sSendTo)(
            ASocket, ABuffer, ALength, AFlags, ATo, AToLength);
    }
    if (Stand->Ip6) {
        return SendTo6(*Stand, ABuffer, ALength, ATo, AToLength);
    }
    sockaddr_in Target;
    if (ATo != nullptr) {
        if (AToLength < static_cast<int>(sizeof Target) || ATo->sa_family != AF_INET) {
            return Failed(WSAEFAULT);
        }
        std::memcpy(&Target, ATo, sizeof Target);
    } else if (Stand->Peer) {
        Target = *Stand->Peer;
    } else {
        return Failed(WSAEDESTADDRREQ);
    }
    // The ICMP API sends echo requests only, and at most 65500 bytes of data.
    if (ABuffer == nullptr || ALength < static_cast<int>(IcmpHeaderBytes) ||
        ALength > 65500 + static_cast<int>(IcmpHeaderBytes) || ABuffer[0] != 8) {
        return Failed(WSAEINVAL);
    }
    Stand->Target = Target;
    Stand->Request.assign(ABuffer, ABuffer + ALength);
    Stand->Datagram.clear();
    return ALength;
}

int Receive(TStandIn& AStandIn, char* ABuffer, int ALength, sockaddr* AFrom, int* AFromLength) {
    // A blocking receive with the request still waiting: as long as the echo client waits.
    if (AStandIn.Datagram.empty() && AStandIn.PendingError == 0) {
        Exchange(AStandIn, 5000);
    }
    if (AStandIn.PendingError != 0) {
        return Failed(std::exchange(AStandIn.PendingError, 0));
    }
    if (AStandIn.Datagram.empty()) {
        return Failed(WSAETIMEDOUT);
    }
    if (AFrom != nullptr && AFromLength != nullptr) {
        const int Size = AStandIn.Ip6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
        if (*AFromLength < Size) {
            return Failed(WSAEFAULT);
        }
        if (AStandIn.Ip6) {
            std::memcpy(AFrom, &AStandIn.From6, sizeof(sockaddr_in6));
        } else {
            std::memcpy(AFrom, &AStandIn.From, sizeof(sockaddr_in));
        }
        *AFromLength = Size;
    }
    const std::vector<uint8_t> Datagram = std::move(AStandIn.Datagram);
    AStandIn.Datagram.clear();
    const size_t Count = std::min(Datagram.size(), static_cast<size_t>(std::max(ALength, 0)));
    if (Count > 0) {
        std::memcpy(ABuffer, Datagram.data(), Count);
    }
    // As Windows does for a datagram cut short: the buffer filled, the call failed.
    if (Count < Datagram.size()) {
        return Failed(WSAEMSGSIZE);
    }
    return static_cast<int>(Count);
}

int WSAAPI AdRecvFrom(SOCKET ASocket, char* ABuffer, int ALength, int AFlags, sockaddr* AFrom,
                      int* AFromLength) {
    const auto Stand = StandIn(ASocket);
    if (!Stand) {
        if (const auto RecvMsg = Raw6(ASocket)) {
            return ReceiveRaw6(ASocket, *RecvMsg, ABuffer, ALength, AFlags, AFrom, AFromLength);
        }
        return Own<int(WSAAPI*)(SOCKET, char*, int, int, sockaddr*, int*)>(sRecvFrom)(
            ASocket, ABuffer, ALength, AFlags, AFrom, AFromLength);
    }
    return Receive(*Stand, ABuffer, ALength, AFrom, AFromLength);
}

int WSAAPI AdRecv(SOCKET ASocket, char* ABuffer, int ALength, int AFlags) {
    const auto Stand = StandIn(ASocket);
    if (!Stand) {
        if (const auto RecvMsg = Raw6(ASocket)) {
            return ReceiveRaw6(ASocket, *RecvMsg, ABuffer, ALength, AFlags, nullptr, nullptr);
        }
        return Own<int(WSAAPI*)(SOCKET, char*, int, int)>(sRecv)(ASocket, ABuffer, ALength, AFlags);
    }
    return Receive(*Stand, ABuffer, ALength, nullptr, nullptr);
}

int WSAAPI AdShutdown(SOCKET ASocket, int AHow) {
    if (StandIn(ASocket)) {
        return 0;
    }
    return Own<int(WSAAPI*)(SOCKET, int)>(sShutdown)(ASocket, AHow);
}

// The stand-ins among the sockets to read make their exchanges within the time given; the
// other sockets are then looked at without waiting. The echo client waits on one socket at
// a time, so a stand-in never shares a wait with a socket that needs one.
int WSAAPI AdSelect(int ACount, fd_set* ARead, fd_set* AWrite, fd_set* AExcept,
                    const timeval* ATimeout) {
    const auto OwnSelect =
        Own<int(WSAAPI*)(int, fd_set*, fd_set*, fd_set*, const timeval*)>(sSelect);
    std::vector<std::pair<SOCKET, std::shared_ptr<TStandIn>>> Mine;
    fd_set Others;
    Others.fd_count = 0;
    if (ARead != nullptr) {
        for (u_int I = 0; I < ARead->fd_count; ++I) {
            if (auto Stand = StandIn(ARead->fd_array[I])) {
                Mine.emplace_back(ARead->fd_array[I], std::move(Stand));
            } else {
                Others.fd_array[Others.fd_count++] = ARead->fd_array[I];
            }
        }
    }
    if (Mine.empty()) {
        return OwnSelect(ACount, ARead, AWrite, AExcept, ATimeout);
    }
    const DWORD Wait = ATimeout == nullptr
                           ? INFINITE - 1
                           : static_cast<DWORD>(ATimeout->tv_sec * 1000 + ATimeout->tv_usec / 1000);
    const DWORD Start = ::GetTickCount();
    int Ready = 0;
    fd_set Read;
    Read.fd_count = 0;
    for (auto& [Socket, Stand] : Mine) {
        if (Stand->Datagram.empty() && Stand->PendingError == 0) {
            Exchange(*Stand, Wait);
        }
        if (!Stand->Datagram.empty() || Stand->PendingError != 0) {
            Read.fd_array[Read.fd_count++] = Socket;
            ++Ready;
        }
    }
    const bool AnyOther = Others.fd_count > 0 || (AWrite != nullptr && AWrite->fd_count > 0) ||
                          (AExcept != nullptr && AExcept->fd_count > 0);
    if (AnyOther) {
        const timeval Now{0, 0};
        const int Rest = OwnSelect(ACount, &Others, AWrite, AExcept, &Now);
        if (Rest == SOCKET_ERROR) {
            return SOCKET_ERROR;
        }
        Ready += Rest;
        for (u_int I = 0; I < Others.fd_count; ++I) {
            Read.fd_array[Read.fd_count++] = Others.fd_array[I];
        }
    }
    // Nothing to read: the rest of the time passes as it would on a socket where nothing
    // arrives (after an answer that was not ours, say), so the caller's time-out holds.
    const DWORD Spent = ::GetTickCount() - Start;
    if (Ready == 0 && !AnyOther && ATimeout != nullptr && Spent < Wait) {
        ::Sleep(Wait - Spent);
    }
    *ARead = Read;
    return Ready;
}

struct TAdapter {
    const char* Name;
    TSlot Slot;
    IdPlatform::TEntry Entry;
};
template <typename F> IdPlatform::TEntry E(F AProc) {
    return reinterpret_cast<IdPlatform::TEntry>(AProc);
}
const TAdapter Adapters[] = {
    {"socket", sSocket, E(&AdSocket)},       {"closesocket", sClose, E(&AdClose)},
    {"connect", sConnect, E(&AdConnect)},    {"setsockopt", sSetOpt, E(&AdSetOpt)},
    {"sendto", sSendTo, E(&AdSendTo)},       {"recv", sRecv, E(&AdRecv)},
    {"recvfrom", sRecvFrom, E(&AdRecvFrom)}, {"select", sSelect, E(&AdSelect)},
    {"shutdown", sShutdown, E(&AdShutdown)},
};

} // namespace

IdPlatform::TEntry SocketEntry(const char* AName, IdPlatform::TEntry AEntry) {
    if (AEntry == nullptr) {
        return nullptr;
    }
    for (const auto& A : Adapters) {
        if (std::strcmp(A.Name, AName) == 0) {
            Library[A.Slot] = AEntry;
            return A.Entry;
        }
    }
    return AEntry;
}

} // namespace IdWin
