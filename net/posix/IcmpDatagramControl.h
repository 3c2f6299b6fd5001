#pragma once
// What recvmsg hands over beside an ICMP datagram socket's message, read into the facts that
// the framing (net/IcmpFrames.h) puts back around it. Reads only as far as each control
// message's own length and msg_controllen both cover.
#include "net/IcmpFrames.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <span>
#include <sys/socket.h>

namespace IdPosix {

// One recvmsg's record: the message into ABuffer, the sender into an address of type
// TAddress, and ControlBytes of room for the control messages.
template <typename TAddress, size_t ControlBytes> struct TReceived {
    TAddress Address{};
    alignas(cmsghdr) uint8_t Control[ControlBytes]{};
    msghdr Header{};
    iovec Data{};

    TReceived(uint8_t* ABuffer, size_t ALength) {
        Data = {ABuffer, ALength};
        Header.msg_name = &Address;
        Header.msg_namelen = sizeof Address;
        Header.msg_iov = &Data;
        Header.msg_iovlen = 1;
        Header.msg_control = Control;
        Header.msg_controllen = sizeof Control;
    }
    TReceived(const TReceived&) = delete;
    TReceived& operator=(const TReceived&) = delete;
};

// AAddress handed to a caller of recvfrom: as much as ATo holds, and its whole length.
template <typename TSockAddr>
void CopyAddress(const TSockAddr& AAddress, sockaddr* ATo, socklen_t* AToLength) {
    if (ATo == nullptr || AToLength == nullptr) {
        return;
    }
    std::memcpy(ATo, &AAddress, std::min<size_t>(*AToLength, sizeof AAddress));
    *AToLength = sizeof AAddress;
}

// The data of the first control message of this level and type that recvmsg filled in:
// empty when there is none, or when its length claims more than msg_controllen covers.
std::span<const uint8_t> ControlData(const msghdr& AReceived, int ALevel, int AType);

// What recvmsg filled in besides an echo reply: the sender from the message's address, the
// TTL from IP_RECVTTL and our address from IP_PKTINFO. What is missing or short stays 0.
IcmpFrames::TReplyFacts ReplyFactsOf(const msghdr& AReceived);

// What recvmsg filled in besides an ICMPv6 message: the sender from the message's address
// (a sockaddr_in6), the hop limit from IPV6_HOPLIMIT and our address from IPV6_PKTINFO.
IcmpFrames::TMessage6Facts Message6FactsOf(const msghdr& AReceived);

// What recvmsg filled in besides an entry of the error queue: false unless the entry is an
// ICMP error (IP_RECVERR of origin SO_EE_ORIGIN_ICMP). Then the type, code, info and
// offender come from that record, the target from the message's address, the TTL and our
// address as for a reply. The request's TTL and length are the socket's to tell: left 0.
bool ErrorFactsOf(const msghdr& AReceived, IcmpFrames::TErrorFacts& AFacts);

// The same for an entry of an ICMPv6 socket's error queue: false unless it is an ICMPv6
// error (IPV6_RECVERR of origin SO_EE_ORIGIN_ICMP6). The offender follows the record and the
// target is the message's address, both sockaddr_in6; the hop limit and our address as for
// a message. The request's hop limit and length are left 0.
bool Error6FactsOf(const msghdr& AReceived, IcmpFrames::TError6Facts& AFacts);

} // namespace IdPosix
