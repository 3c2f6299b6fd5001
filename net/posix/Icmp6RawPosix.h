#pragma once
// Raw ICMPv6 sockets, as the socket adapters hand them over: Linux delivers the ICMPv6
// message alone, its sender and hop limit beside it; these calls put the IPv6 header back in
// front (net/IcmpFrames.h), so that the echo client reads every IPv6 way of pinging alike.
// Linux only (ICMP6_FILTER, IPV6_RECVHOPLIMIT). Results and errno as the C library's.
#include "net/IcmpFrames.h"

#include <cstddef>
#include <sys/socket.h>
#include <sys/types.h>

namespace IdPosix {

// After socket(AF_INET6, SOCK_RAW, IPPROTO_ICMPV6) succeeded: lets through only echo replies
// and the errors that can be about a request, asks for the hop limit and our address with
// each message, and notes the socket. -1, errno set, when the socket refuses an option.
int SetUpIcmp6Raw(int ASocket);

bool IsIcmp6Raw(int ASocket);

// One recvmsg of an ICMPv6 message into AOut, behind room for the IPv6 header that
// FrameMessage6 then writes from what came beside it (the socket must have asked for the
// hop limit and our address); an echo reply's identifier becomes AClient where the kernel
// wrote AKernel. The framed length, or -1 and errno. Raw and datagram ICMPv6 sockets alike.
ssize_t ReceiveFramed6(int ASocket, uint8_t* AOut, size_t ALength, int AFlags,
                       IcmpFrames::TIdentifier AKernel, IcmpFrames::TIdentifier AClient,
                       sockaddr* AFrom, socklen_t* AFromLength);

// recv()/recvfrom(): the message with its IPv6 header in front.
ssize_t ReceiveIcmp6Raw(int ASocket, void* ABuffer, size_t ALength, int AFlags, sockaddr* AFrom,
                        socklen_t* AFromLength);

// Before the socket is closed: its descriptor may next name a socket of another kind.
void ForgetIcmp6Raw(int ASocket);

} // namespace IdPosix
