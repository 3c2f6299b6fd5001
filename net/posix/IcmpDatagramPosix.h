#pragma once
// ICMP datagram sockets ("ping sockets") standing in for the raw ICMP socket where the
// process may not have one. The socket adapters hand such a socket to the calls below, which
// make it send and read as the raw socket would have. Results and errno as the C library's.
#include <cstddef>
#include <sys/socket.h>
#include <sys/types.h>

namespace IdPosix {

// True when socket(AFamily, AType, AProtocol) asks for a raw ICMP or ICMPv6 socket and this
// thread has been refused one of that family for want of privilege before: it will not get the
// privilege back, so the raw socket need not be tried again.
bool RawIcmpRefusedBefore(int AFamily, int AType, int AProtocol);

// Called when socket(AFamily, AType, AProtocol) has just failed, errno untouched, or when
// RawIcmpRefusedBefore. For a raw ICMP or ICMPv6 socket refused for want of privilege: a
// datagram socket of the same family and protocol set up to stand in for it. Otherwise, or when the
// datagram socket is refused too: -1, errno as the raw socket left it.
int IcmpDatagramInstead(int AFamily, int AType, int AProtocol);

// True for a socket that IcmpDatagramInstead opened and that is not closed yet.
bool IsIcmpDatagram(int ASocket);

// sendto() that makes the wire carry the identifier of the request where the kernel allows.
ssize_t SendIcmpDatagram(int ASocket, const void* ABuffer, size_t ALength, int AFlags,
                         const sockaddr* ATo, socklen_t AToLength);

// setsockopt() that keeps the IP_TTL (IPV6_UNICAST_HOPS) the socket sends with, which the error
// it reads back quotes.
int SetIcmpDatagramOption(int ASocket, int ALevel, int AName, const void* AValue,
                          socklen_t ALength);

// connect() that notes that the socket has a peer, and shutdown(), which spares the call for
// a socket without one: the kernel answers it with ENOTCONN, and the echo client shuts its
// never connected socket down at the end of every exchange.
int ConnectIcmpDatagram(int ASocket, const sockaddr* ATo, socklen_t AToLength);
int ShutdownIcmpDatagram(int ASocket, int AHow);

// recv()/recvfrom() giving what the raw socket would have read: an echo reply with an IPv4
// header in front, or an ICMP error about our request rebuilt whole from the error queue;
// on an ICMPv6 socket the same with IPv6 headers, as the raw ICMPv6 socket's adapter gives.
ssize_t ReceiveIcmpDatagram(int ASocket, void* ABuffer, size_t ALength, int AFlags, sockaddr* AFrom,
                            socklen_t* AFromLength);

// Before the socket is closed: its descriptor may next name a socket of another kind.
void ForgetIcmpDatagram(int ASocket);

} // namespace IdPosix
