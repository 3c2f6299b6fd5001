#include "net/win/IdWinSock2Win.h"

#include "net/IcmpFrames.h"
#include "net/IdStack.h"
#include "net/win/IcmpApiWin.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

namespace IdWin {
namespace {

using IcmpFrames::IcmpHeaderBytes;

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

SOCKET WSAAPI AdSocket(int AFamily, int AType, int AProtocol) {
    const auto OwnSocket = Own<SOCKET(WSAAPI*)(int, int, int)>(sSocket);
    const SOCKET Socket = OwnSocket(AFamily, AType, AProtocol);
    if (Socket != INVALID_SOCKET || AFamily != AF_INET || AType != SOCK_RAW ||
        AProtocol != IPPROTO_ICMP || ::GetLastError() != WSAEACCES) {
        return Socket;
    }
    auto Opened = OpenIcmpApi();
    const SOCKET Handle = Opened ? OwnSocket(AF_INET, SOCK_DGRAM, IPPROTO_UDP) : INVALID_SOCKET;
    if (Handle == INVALID_SOCKET) {
        // Both ways refused: the raw socket's refusal stands.
        ::SetLastError(WSAEACCES);
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
    }
    return Own<int(WSAAPI*)(SOCKET)>(sClose)(ASocket);
}

int WSAAPI AdConnect(SOCKET ASocket, const sockaddr* ATo, int ALength) {
    const auto Stand = StandIn(ASocket);
    if (!Stand) {
        return Own<int(WSAAPI*)(SOCKET, const sockaddr*, int)>(sConnect)(ASocket, ATo, ALength);
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
    if (Stand && ALevel == Id_IPPROTO_IP && AName == Id_IP_TTL) {
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

int WSAAPI AdSendTo(SOCKET ASocket, const char* ABuffer, int ALength, int AFlags,
                    const sockaddr* ATo, int AToLength) {
    const auto Stand = StandIn(ASocket);
    if (!Stand) {
        return Own<int(WSAAPI*)(SOCKET, const char*, int, int, const sockaddr*, int)>(sSendTo)(
            ASocket, ABuffer, ALength, AFlags, ATo, AToLength);
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
        if (*AFromLength < static_cast<int>(sizeof(sockaddr_in))) {
            return Failed(WSAEFAULT);
        }
        std::memcpy(AFrom, &AStandIn.From, sizeof(sockaddr_in));
        *AFromLength = sizeof(sockaddr_in);
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
        return Own<int(WSAAPI*)(SOCKET, char*, int, int, sockaddr*, int*)>(sRecvFrom)(
            ASocket, ABuffer, ALength, AFlags, AFrom, AFromLength);
    }
    return Receive(*Stand, ABuffer, ALength, AFrom, AFromLength);
}

int WSAAPI AdRecv(SOCKET ASocket, char* ABuffer, int ALength, int AFlags) {
    const auto Stand = StandIn(ASocket);
    if (!Stand) {
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
