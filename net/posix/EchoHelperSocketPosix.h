#pragma once
// The raw ICMP socket of a process that gave its privilege to the echo helper
// (system/EchoHelperChannel.h). The socket adapters hand such a socket to the calls below,
// which carry each echo request to the helper and read back what answers it, in the bytes
// the raw socket would have read: the echo client cannot tell the difference. The descriptor
// is a copy of the channel, so that waiting on it is waiting on the helper. Results and
// errno as the C library's.
#include <cstddef>
#include <sys/socket.h>
#include <sys/types.h>

namespace IdPosix {

// True when socket(AFamily, AType, AProtocol) asks for what the helper stands in for, a raw
// ICMP socket over IPv4 or a raw ICMPv6 socket, and a helper is installed.
bool GoesThroughHelper(int AFamily, int AType, int AProtocol);

// A socket of AFamily that talks to the helper; -1 and errno when there is none or it has
// ended (EACCES, so that the datagram socket is tried next, as for a refused raw socket).
int OpenHelperSocket(int AFamily);

// True for a socket that OpenHelperSocket opened and that is not closed yet.
bool IsHelperSocket(int ASocket);

// sendto(): hands the echo request to the helper and waits, at most a second, for the
// outcome of its send. The helper's refusal, or the send's own error, is the errno.
ssize_t SendThroughHelper(int ASocket, const void* ABuffer, size_t ALength, const sockaddr* ATo,
                          socklen_t AToLength);

// recv()/recvfrom(): the next message that answers the request, as the raw socket read it
// (an ICMPv6 one with the IPv6 header in front that net/posix/Icmp6RawPosix.h writes), and
// its source.
ssize_t ReceiveThroughHelper(int ASocket, void* ABuffer, size_t ALength, int AFlags,
                             sockaddr* AFrom, socklen_t* AFromLength);

// The options the raw socket would take: IP_TTL (IPV6_UNICAST_HOPS on an IPv6 socket), kept
// for the next request. Any other, IP_HDRINCL among them, is refused (ENOPROTOOPT): the
// helper builds no IP header of ours.
int SetHelperSocketOption(int ASocket, int ALevel, int AName, const void* AValue,
                          socklen_t ALength);
int GetHelperSocketOption(int ASocket, int ALevel, int AName, void* AValue, socklen_t* ALength);

// connect() notes the peer for send(); shutdown() touches nothing (the channel is shared),
// answering as the raw socket would; bind() is refused. FIONBIO is kept for this socket.
int ConnectHelperSocket(int ASocket, const sockaddr* ATo, socklen_t AToLength);
int ShutdownHelperSocket(int ASocket, int AHow);
int SetHelperSocketNonBlocking(int ASocket, bool AOn);

// close(): forgets the socket and closes its copy of the channel.
int CloseHelperSocket(int ASocket);

} // namespace IdPosix
