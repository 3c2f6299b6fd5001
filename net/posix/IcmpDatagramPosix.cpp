// Linux ICMP datagram sockets: socket(AF_INET, SOCK_DGRAM, IPPROTO_ICMP) and its ICMPv6 twin
// socket(AF_INET6, SOCK_DGRAM, IPPROTO_ICMPV6), both open to the groups in the network
// namespace's net.ipv4.ping_group_range without any capability. They differ from the raw
// socket in what they deliver; this file makes up the difference.
#include "net/posix/IcmpDatagramPosix.h"

#include "net/posix/DescriptorTable.h"
#include "net/posix/Icmp6RawPosix.h"
#include "net/posix/IcmpDatagramControl.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <linux/errqueue.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

namespace IdPosix {

using namespace IcmpFrames;

namespace {

struct TDatagramSocket {
    int Family = AF_INET;
    TIdentifier Kernel; // what the kernel writes into each request: the socket's bound "port"
    TIdentifier Client; // what the client wrote into its last request
    bool Bound = false;
    bool Connected = false;
    uint16_t RequestBytes = 0;
    int Ttl = -1; // TTL or hop limit as last set through the adapter; -1: the kernel's default
};

// The adapters receive bare descriptors; these are the ones that are datagram sockets.
TDescriptorTable<TDatagramSocket> Sockets;

// The errno with which this thread was refused a raw ICMP socket of each family ([0] IPv4,
// [1] IPv6), once it was. Capabilities belong to a thread, and one that has lost CAP_NET_RAW
// (or never had it) cannot take it up again short of exec; trying again would cost a
// failing socket() and a capability query on every exchange. Kept apart because a security
// module may refuse one family's raw socket (EACCES) and allow the other's.
thread_local int RawRefusal[2] = {0, 0};

// Which of RawRefusal a raw ICMP socket of this kind goes by; -1 for any other socket.
int RawIcmpKind(int AFamily, int AType, int AProtocol) {
    if (AType != SOCK_RAW) {
        return -1;
    }
    if (AFamily == AF_INET && AProtocol == IPPROTO_ICMP) {
        return 0;
    }
    return AFamily == AF_INET6 && AProtocol == IPPROTO_ICMPV6 ? 1 : -1;
}

// The option that sets the TTL of what a socket of this family sends.
bool IsTtlOption(int AFamily, int ALevel, int AName) {
    return AFamily == AF_INET6 ? ALevel == IPPROTO_IPV6 && AName == IPV6_UNICAST_HOPS
                               : ALevel == IPPROTO_IP && AName == IP_TTL;
}

TDatagramSocket Lookup(int ASocket) {
    TDatagramSocket State;
    Sockets.Get(ASocket, State);
    return State;
}

bool SetOn(int ASocket, int ALevel, int AOption) {
    const int On = 1;
    return ::setsockopt(ASocket, ALevel, AOption, &On, sizeof On) == 0;
}

// The address a message comes with: a sockaddr_in, or a sockaddr_in6 on an ICMPv6 socket.
union TAddress {
    sockaddr_in Four;
    sockaddr_in6 Six{};
};

// Room for the TTL, our address and the error record with its offender at once: IP_TTL,
// IP_PKTINFO and IP_RECVERR, or the larger IPV6_HOPLIMIT, IPV6_PKTINFO and IPV6_RECVERR.
using TDatagramReceived =
    TReceived<TAddress, CMSG_SPACE(sizeof(int)) + CMSG_SPACE(sizeof(in6_pktinfo)) +
                            CMSG_SPACE(sizeof(sock_extended_err) + sizeof(sockaddr_in6))>;

// The request's TTL or hop limit: as set through the adapter, else the kernel's.
uint8_t RequestTtl(int ASocket, const TDatagramSocket& AState) {
    int Ttl = AState.Ttl;
    socklen_t Length = sizeof Ttl;
    if (Ttl < 0) {
        if (AState.Family == AF_INET6) {
            ::getsockopt(ASocket, IPPROTO_IPV6, IPV6_UNICAST_HOPS, &Ttl, &Length);
        } else {
            ::getsockopt(ASocket, IPPROTO_IP, IP_TTL, &Ttl, &Length);
        }
    }
    return static_cast<uint8_t>(Ttl);
}

// An echo reply: the kernel hands over the ICMP message alone, and only replies that carry
// the socket's identifier. Received behind the room for the header that goes in front.
ssize_t ReadReply(int ASocket, const TDatagramSocket& AState, uint8_t* AOut, size_t ALength,
                  int AFlags, sockaddr* AFrom, socklen_t* AFromLength) {
    TDatagramReceived Got(AOut + Ipv4HeaderBytes, ALength - Ipv4HeaderBytes);
    const ssize_t Count = ::recvmsg(ASocket, &Got.Header, AFlags | MSG_DONTWAIT);
    if (Count < 0) {
        return -1;
    }
    const auto Icmp = static_cast<size_t>(Count);
    FrameReply(ReplyFactsOf(Got.Header), {AOut, Ipv4HeaderBytes + Icmp}, Icmp, AState.Kernel,
               AState.Client);
    CopyAddress(Got.Address.Four, AFrom, AFromLength);
    return static_cast<ssize_t>(Ipv4HeaderBytes + Icmp);
}

// The same on an ICMPv6 socket: the message gets the IPv6 header that a raw ICMPv6 socket
// gets from this program's adapters.
ssize_t ReadReply6(int ASocket, const TDatagramSocket& AState, uint8_t* AOut, size_t ALength,
                   int AFlags, sockaddr* AFrom, socklen_t* AFromLength) {
    return ReceiveFramed6(ASocket, AOut, ALength, AFlags | MSG_DONTWAIT, AState.Kernel,
                          AState.Client, AFrom, AFromLength);
}

// An ICMP error about our request (IP_RECVERR): the error queue holds the error message from
// the quoted request's ICMP header on, with the rest told in a sock_extended_err. -1 and
// EAGAIN when the queue is empty; 0 for an entry that is no ICMP error.
ssize_t ReadError(int ASocket, const TDatagramSocket& AState, uint8_t* AOut, size_t ALength,
                  sockaddr* AFrom, socklen_t* AFromLength) {
    TDatagramReceived Got(AOut + ErrorPrefixBytes, ALength - ErrorPrefixBytes);
    const ssize_t Count = ::recvmsg(ASocket, &Got.Header, MSG_ERRQUEUE | MSG_DONTWAIT);
    if (Count < 0) {
        return -1;
    }
    TErrorFacts Facts;
    if (!ErrorFactsOf(Got.Header, Facts)) {
        return 0;
    }
    Facts.RequestTtl = RequestTtl(ASocket, AState);
    Facts.RequestBytes = AState.RequestBytes;
    const auto Quoted = static_cast<size_t>(Count);
    FrameError(Facts, {AOut, ErrorPrefixBytes + Quoted}, Quoted, AState.Kernel, AState.Client);
    // The raw socket's address of an error datagram is its sender's.
    sockaddr_in Offender{};
    Offender.sin_family = AF_INET;
    std::memcpy(&Offender.sin_addr, Facts.Offender, 4);
    CopyAddress(Offender, AFrom, AFromLength);
    return static_cast<ssize_t>(ErrorPrefixBytes + Quoted);
}

// An ICMPv6 error about our request (IPV6_RECVERR): as ReadError, with the IPv6 headers.
ssize_t ReadError6(int ASocket, const TDatagramSocket& AState, uint8_t* AOut, size_t ALength,
                   sockaddr* AFrom, socklen_t* AFromLength) {
    TDatagramReceived Got(AOut + Error6PrefixBytes, ALength - Error6PrefixBytes);
    const ssize_t Count = ::recvmsg(ASocket, &Got.Header, MSG_ERRQUEUE | MSG_DONTWAIT);
    if (Count < 0) {
        return -1;
    }
    TError6Facts Facts;
    if (!Error6FactsOf(Got.Header, Facts)) {
        return 0;
    }
    Facts.RequestHopLimit = RequestTtl(ASocket, AState);
    Facts.RequestBytes = AState.RequestBytes;
    const auto Quoted = static_cast<size_t>(Count);
    FrameError6(Facts, {AOut, Error6PrefixBytes + Quoted}, Quoted, AState.Kernel, AState.Client);
    sockaddr_in6 Offender{};
    Offender.sin6_family = AF_INET6;
    std::memcpy(&Offender.sin6_addr, Facts.Offender, 16);
    CopyAddress(Offender, AFrom, AFromLength);
    return static_cast<ssize_t>(Error6PrefixBytes + Quoted);
}

bool NonBlocking(int ASocket) {
    const int Flags = ::fcntl(ASocket, F_GETFL);
    return Flags != -1 && (Flags & O_NONBLOCK) != 0;
}

} // namespace

bool RawIcmpRefusedBefore(int AFamily, int AType, int AProtocol) {
    const int Kind = RawIcmpKind(AFamily, AType, AProtocol);
    return Kind >= 0 && RawRefusal[Kind] != 0;
}

int IcmpDatagramInstead(int AFamily, int AType, int AProtocol) {
    const int Kind = RawIcmpKind(AFamily, AType, AProtocol);
    const int RawErrno = Kind >= 0 && RawRefusal[Kind] != 0 ? RawRefusal[Kind] : errno;
    // EPERM: neither root nor CAP_NET_RAW. EACCES: a security module refused the raw socket.
    // Any other failure (no descriptors left, say) would refuse a datagram socket too.
    if (Kind < 0 || (RawErrno != EPERM && RawErrno != EACCES)) {
        return -1;
    }
    RawRefusal[Kind] = RawErrno;
    const bool Six = AFamily == AF_INET6;
    // EACCES: the process's groups lie outside net.ipv4.ping_group_range of its network
    // namespace ("1 0", the kernel's default, admits nobody). EPROTONOSUPPORT: a kernel
    // without ping sockets. Either way the raw socket's refusal is what the user sees.
    // The ICMPv6 socket has no sysctl of its own: the IPv4 one governs both.
    const int Socket = ::socket(AFamily, SOCK_DGRAM | SOCK_CLOEXEC, AProtocol);
    if (Socket < 0) {
        errno = RawErrno;
        return -1;
    }
    // IP_RECVERR: ICMP errors about our requests go to the error queue, whole, instead of
    // only setting the socket's pending error. IP_RECVTTL and IP_PKTINFO: the TTL and our
    // address from the IPv4 header that the socket strips. The IPv6 options alike; without
    // IPV6_RECVERR an ICMPv6 error never reaches the socket at all, and the ping would end
    // in silence.
    const bool SetUp = Six ? SetOn(Socket, IPPROTO_IPV6, IPV6_RECVERR) &&
                                 SetOn(Socket, IPPROTO_IPV6, IPV6_RECVHOPLIMIT) &&
                                 SetOn(Socket, IPPROTO_IPV6, IPV6_RECVPKTINFO)
                           : SetOn(Socket, IPPROTO_IP, IP_RECVERR) &&
                                 SetOn(Socket, IPPROTO_IP, IP_RECVTTL) &&
                                 SetOn(Socket, IPPROTO_IP, IP_PKTINFO);
    if (!SetUp) {
        ::close(Socket);
        errno = RawErrno;
        return -1;
    }
    TDatagramSocket State;
    State.Family = AFamily;
    Sockets.Put(Socket, State);
    return Socket;
}

bool IsIcmpDatagram(int ASocket) {
    return Sockets.Contains(ASocket);
}

void ForgetIcmpDatagram(int ASocket) {
    Sockets.Erase(ASocket);
}

ssize_t SendIcmpDatagram(int ASocket, const void* ABuffer, size_t ALength, int AFlags,
                         const sockaddr* ATo, socklen_t AToLength) {
    TDatagramSocket State = Lookup(ASocket);
    const auto* Request = static_cast<const uint8_t*>(ABuffer);
    if (ALength >= 6) {
        State.Client = {{Request[4], Request[5]}};
    }
    // The kernel writes the socket's bound port into each request as its identifier, in
    // network byte order: bound to the client's identifier, the wire shows the identifier
    // the client wrote. Port 0 would mean "any", so that identifier is left to the kernel.
    // EADDRINUSE: another ping socket of the namespace holds it; the kernel then picks one
    // when sending, and the replies are translated back.
    if (!State.Bound && State.Client != TIdentifier{}) {
        TAddress Own{};
        socklen_t OwnLength = sizeof Own.Four;
        if (State.Family == AF_INET6) {
            Own.Six.sin6_family = AF_INET6;
            std::memcpy(&Own.Six.sin6_port, State.Client.Bytes, 2);
            OwnLength = sizeof Own.Six;
        } else {
            Own.Four.sin_family = AF_INET;
            std::memcpy(&Own.Four.sin_port, State.Client.Bytes, 2);
        }
        if (::bind(ASocket, reinterpret_cast<const sockaddr*>(&Own), OwnLength) == 0) {
            State.Kernel = State.Client;
            State.Bound = true;
        }
    }
    // The kernel checks the type (8, or 128 for ICMPv6, code 0) and fills in the checksum.
    const ssize_t Sent = ::sendto(ASocket, ABuffer, ALength, AFlags, ATo, AToLength);
    const int SendErrno = errno;
    if (Sent >= 0) {
        State.RequestBytes = static_cast<uint16_t>(std::min<size_t>(ALength, 0xFFFF));
        // sin_port and sin6_port lie at the same place.
        TAddress Own{};
        socklen_t OwnLength = sizeof Own;
        if (!State.Bound &&
            ::getsockname(ASocket, reinterpret_cast<sockaddr*>(&Own), &OwnLength) == 0) {
            std::memcpy(State.Kernel.Bytes, &Own.Four.sin_port, 2);
            State.Bound = true;
        }
    }
    Sockets.Change(ASocket, [&State](TDatagramSocket& ANow) {
        ANow.Client = State.Client;
        ANow.Kernel = State.Kernel;
        ANow.Bound = State.Bound;
        ANow.RequestBytes = State.RequestBytes;
    });
    errno = SendErrno;
    return Sent;
}

int SetIcmpDatagramOption(int ASocket, int ALevel, int AName, const void* AValue,
                          socklen_t ALength) {
    const int Result = ::setsockopt(ASocket, ALevel, AName, AValue, ALength);
    // Either family's option, then the one of the socket's family: the other family's may
    // pass unnoticed on the socket, and then does not set what the requests leave with.
    if (Result == 0 && ALength == sizeof(int) &&
        ((ALevel == IPPROTO_IP && AName == IP_TTL) ||
         (ALevel == IPPROTO_IPV6 && AName == IPV6_UNICAST_HOPS))) {
        int Ttl = -1;
        std::memcpy(&Ttl, AValue, sizeof Ttl);
        Sockets.Change(ASocket, [ALevel, AName, Ttl](TDatagramSocket& ANow) {
            if (IsTtlOption(ANow.Family, ALevel, AName)) {
                ANow.Ttl = Ttl; // -1 puts the kernel's default back
            }
        });
    }
    return Result;
}

int ConnectIcmpDatagram(int ASocket, const sockaddr* ATo, socklen_t AToLength) {
    const int Result = ::connect(ASocket, ATo, AToLength);
    // A failed connect() may have dissolved an earlier association: ask the kernel again.
    if (Result == 0) {
        Sockets.Change(ASocket, [](TDatagramSocket& ANow) { ANow.Connected = true; });
    }
    return Result;
}

int ShutdownIcmpDatagram(int ASocket, int AHow) {
    if (!Lookup(ASocket).Connected) {
        errno = ENOTCONN;
        return -1;
    }
    return ::shutdown(ASocket, AHow);
}

ssize_t ReceiveIcmpDatagram(int ASocket, void* ABuffer, size_t ALength, int AFlags, sockaddr* AFrom,
                            socklen_t* AFromLength) {
    const TDatagramSocket State = Lookup(ASocket);
    // Framed whole here, then as much handed over as the caller's buffer holds: a raw
    // socket cuts a long datagram the same way, its header still telling the whole length.
    // Room for the largest message plus the headers an error gets in front.
    constexpr size_t Room = 65536 + std::max(ErrorPrefixBytes, Error6PrefixBytes);
    thread_local std::unique_ptr<uint8_t[]> Whole;
    if (!Whole) {
        Whole = std::make_unique<uint8_t[]>(Room);
    }
    uint8_t* const Out = Whole.get();
    const size_t OutLength = Room;
    const auto Deliver = [&](ssize_t ACount) {
        const size_t Kept = std::min(static_cast<size_t>(ACount), ALength);
        std::memcpy(ABuffer, Out, Kept);
        return static_cast<ssize_t>(Kept);
    };
    const bool Six = State.Family == AF_INET6;
    for (;;) {
        const ssize_t Reply =
            Six ? ReadReply6(ASocket, State, Out, OutLength, AFlags, AFrom, AFromLength)
                : ReadReply(ASocket, State, Out, OutLength, AFlags, AFrom, AFromLength);
        if (Reply >= 0) {
            return Deliver(Reply);
        }
        // An ICMP error that arrives also sets the socket's pending error, and the next
        // plain read fails with it (EHOSTUNREACH and the like) and clears it; the error
        // itself waits in the queue. Reading the queue first would not spare that: the
        // error can arrive between the two reads.
        const int ReplyErrno = errno;
        if (ReplyErrno == EINTR) {
            return -1;
        }
        const ssize_t Error = Six ? ReadError6(ASocket, State, Out, OutLength, AFrom, AFromLength)
                                  : ReadError(ASocket, State, Out, OutLength, AFrom, AFromLength);
        if (Error > 0) {
            return Deliver(Error);
        }
        if (Error == 0) {
            continue; // an entry that was no ICMP error: passed over
        }
        if (ReplyErrno != EAGAIN && ReplyErrno != EWOULDBLOCK) {
            errno = ReplyErrno;
            return -1;
        }
        // Both queues empty: a blocking read waits, as recv() would. The error queue shows
        // in poll() as POLLERR, which is reported without being asked for.
        if ((AFlags & MSG_DONTWAIT) != 0 || NonBlocking(ASocket)) {
            errno = EAGAIN;
            return -1;
        }
        pollfd Wait{ASocket, POLLIN, 0};
        if (::poll(&Wait, 1, -1) < 0) {
            return -1;
        }
    }
}

} // namespace IdPosix
