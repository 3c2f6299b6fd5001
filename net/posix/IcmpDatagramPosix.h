#pragma once
// ICMP datagram sockets ("ping sockets") standing in for the raw ICMP socket where the
// process may not have one. The socket adapters hand such a socket to the calls below, which
// make it send and read as the raw socket would have. Results and errno as the C library's.
#include <cstddef>
#include <sys/socket.h>
#include <sys/types.h>

namespace IdPosix {

// Called when socket(AFamily, AType, AProtocol) has just failed, errno untouched. For a raw
// ICMP socket refused for want of privilege: an ICMP datagram socket set up to stand in for
// it. Otherwise, or when the datagram socket is refused too: -1, errno as the raw socket
// left it.
int IcmpDatagramInstead(int AFamily, int AType, int AProtocol);

// True for a socket that IcmpDatagramInstead opened and that is not closed yet.
bool IsIcmpDatagram(int ASocket);

// sendto() that makes the wire carry the identifier of the request where the kernel allows.
ssize_t SendIcmpDatagram(int ASocket, const void* ABuffer, size_t ALength, int AFlags,
                         const sockaddr* ATo, socklen_t AToLength);

// recv()/recvfrom() giving what the raw socket would have read: an echo reply with an IPv4
// header in front, or an ICMP error about our request rebuilt whole from the error queue.
ssize_t ReceiveIcmpDatagram(int ASocket, void* ABuffer, size_t ALength, int AFlags,
                            sockaddr* AFrom, socklen_t* AFromLength);

// Before the socket is closed: its descriptor may next name a socket of another kind.
void ForgetIcmpDatagram(int ASocket);

} // namespace IdPosix
