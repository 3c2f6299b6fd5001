#include "net/posix/Icmp6RawPosix.h"

#include "net/IcmpFrames.h"
#include "net/IdEchoReply.h"
#include "net/posix/DescriptorTable.h"
#include "net/posix/IcmpDatagramControl.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <netinet/icmp6.h>
#include <netinet/in.h>

namespace IdPosix {

using namespace IcmpFrames;

namespace {

struct TNothing {};
TDescriptorTable<TNothing> Sockets;

int SetOn(int ASocket, int AOption) {
    const int On = 1;
    return ::setsockopt(ASocket, IPPROTO_IPV6, AOption, &On, sizeof On);
}

// Room for IPV6_HOPLIMIT and IPV6_PKTINFO at once.
using TReceived6 =
    TReceived<sockaddr_in6, CMSG_SPACE(sizeof(int)) + CMSG_SPACE(sizeof(in6_pktinfo))>;

} // namespace

int SetUpIcmp6Raw(int ASocket) {
    // Without a filter every neighbour solicitation and router advertisement of the link
    // would wake the wait; the decoder would pass them by, but each costs a read.
    icmp6_filter Filter;
    ICMP6_FILTER_SETBLOCKALL(&Filter);
    for (const uint8_t Type :
         {Icmp6Type::EchoReply, Icmp6Type::Unreachable, Icmp6Type::PacketTooBig,
          Icmp6Type::TimeExceeded, Icmp6Type::ParameterProblem}) {
        ICMP6_FILTER_SETPASS(Type, &Filter);
    }
    if (::setsockopt(ASocket, IPPROTO_ICMPV6, ICMP6_FILTER, &Filter, sizeof Filter) != 0 ||
        SetOn(ASocket, IPV6_RECVHOPLIMIT) != 0 || SetOn(ASocket, IPV6_RECVPKTINFO) != 0) {
        return -1;
    }
    Sockets.Put(ASocket, {});
    return 0;
}

bool IsIcmp6Raw(int ASocket) {
    return Sockets.Contains(ASocket);
}

void ForgetIcmp6Raw(int ASocket) {
    Sockets.Erase(ASocket);
}

ssize_t ReceiveFramed6(int ASocket, uint8_t* AOut, size_t ALength, int AFlags, TIdentifier AKernel,
                       TIdentifier AClient, sockaddr* AFrom, socklen_t* AFromLength) {
    if (ALength < Ipv6HeaderBytes) {
        errno = EINVAL;
        return -1;
    }
    TReceived6 Got(AOut + Ipv6HeaderBytes, ALength - Ipv6HeaderBytes);
    const ssize_t Count = ::recvmsg(ASocket, &Got.Header, AFlags);
    if (Count < 0) {
        return -1;
    }
    const auto Message = static_cast<size_t>(Count);
    FrameMessage6(Message6FactsOf(Got.Header), {AOut, Ipv6HeaderBytes + Message}, Message, AKernel,
                  AClient);
    CopyAddress(Got.Address, AFrom, AFromLength);
    return static_cast<ssize_t>(Ipv6HeaderBytes + Message);
}

ssize_t ReceiveIcmp6Raw(int ASocket, void* ABuffer, size_t ALength, int AFlags, sockaddr* AFrom,
                        socklen_t* AFromLength) {
    // Received behind the room for the header, then as much handed over as the caller's
    // buffer holds, as a raw IPv4 socket cuts a long datagram.
    constexpr size_t Room = 65536 + Ipv6HeaderBytes;
    thread_local std::unique_ptr<uint8_t[]> Whole;
    if (!Whole) {
        Whole = std::make_unique<uint8_t[]>(Room);
    }
    const ssize_t Framed =
        ReceiveFramed6(ASocket, Whole.get(), Room, AFlags, {}, {}, AFrom, AFromLength);
    if (Framed < 0) {
        return -1;
    }
    const size_t Kept = std::min(static_cast<size_t>(Framed), ALength);
    std::memcpy(ABuffer, Whole.get(), Kept);
    return static_cast<ssize_t>(Kept);
}

} // namespace IdPosix
