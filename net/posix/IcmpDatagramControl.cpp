#include "net/posix/IcmpDatagramControl.h"

#include <cstring>
#include <linux/errqueue.h>
#include <netinet/in.h>

namespace IdPosix {

using namespace IcmpFrames;

namespace {

// The IPv4 address of a sockaddr_in that recvmsg wrote, when it wrote a whole one.
void AddressOf(const void* AName, size_t ALength, uint8_t AAddress[4]) {
    sockaddr_in Address{};
    if (AName != nullptr && ALength >= sizeof Address) {
        std::memcpy(&Address, AName, sizeof Address);
    }
    if (Address.sin_family == AF_INET) {
        std::memcpy(AAddress, &Address.sin_addr, 4);
    }
}

// Calls AVisit(level, type, data) for each control message recvmsg filled in, in order, until
// it returns false. Stops at the first whose length claims less than a header or more than
// msg_controllen covers: CMSG_NXTHDR checks that the next header fits, but nothing checks
// that a header's length stays within the buffer.
template <typename F> void WalkControl(const msghdr& AReceived, F AVisit) {
    const auto* Start = static_cast<const uint8_t*>(AReceived.msg_control);
    if (Start == nullptr) {
        return;
    }
    auto& Received = const_cast<msghdr&>(AReceived);
    for (cmsghdr* C = CMSG_FIRSTHDR(&Received); C != nullptr; C = CMSG_NXTHDR(&Received, C)) {
        const auto* At = reinterpret_cast<const uint8_t*>(C);
        const auto Left = static_cast<size_t>(Start + AReceived.msg_controllen - At);
        if (C->cmsg_len < CMSG_LEN(0) || C->cmsg_len > Left) {
            return;
        }
        if (!AVisit(C->cmsg_level, C->cmsg_type,
                    std::span<const uint8_t>{CMSG_DATA(C), C->cmsg_len - CMSG_LEN(0)})) {
            return;
        }
    }
}

// The TTL (hop limit) and our address, which a reply and an error both carry, from the first
// control message of each type, in one walk: every reply is read so.
void TtlAndAddress(const msghdr& AReceived, int ALevel, int ATtlType, int AInfoType, uint8_t& ATtl,
                   uint8_t* AOurAddress) {
    bool TtlSeen = false;
    bool InfoSeen = false;
    WalkControl(AReceived, [&](int AThisLevel, int AType, std::span<const uint8_t> AData) {
        if (AThisLevel == ALevel && AType == ATtlType && !TtlSeen) {
            TtlSeen = true;
            // The TTL byte of the datagram's IP header, handed over as an int.
            if (AData.size() >= sizeof(int)) {
                int Value = 0;
                std::memcpy(&Value, AData.data(), sizeof Value);
                ATtl = static_cast<uint8_t>(Value);
            }
        } else if (AThisLevel == ALevel && AType == AInfoType && !InfoSeen) {
            InfoSeen = true;
            // ipi_addr (ipi6_addr) is the destination address of the datagram's IP header.
            if (ALevel == IPPROTO_IP && AData.size() >= sizeof(in_pktinfo)) {
                in_pktinfo Value{};
                std::memcpy(&Value, AData.data(), sizeof Value);
                std::memcpy(AOurAddress, &Value.ipi_addr, 4);
            } else if (ALevel == IPPROTO_IPV6 && AData.size() >= sizeof(in6_pktinfo)) {
                in6_pktinfo Value;
                std::memcpy(&Value, AData.data(), sizeof Value);
                std::memcpy(AOurAddress, &Value.ipi6_addr, 16);
            }
        }
        return !(TtlSeen && InfoSeen);
    });
}

// IP_RECVTTL and IP_PKTINFO.
void TtlAndOurAddress(const msghdr& AReceived, uint8_t& ATtl, uint8_t AOurAddress[4]) {
    TtlAndAddress(AReceived, IPPROTO_IP, IP_TTL, IP_PKTINFO, ATtl, AOurAddress);
}

// The IPv6 address of a sockaddr_in6 that recvmsg wrote, when it wrote a whole one.
void Address6Of(const void* AName, size_t ALength, uint8_t AAddress[16]) {
    sockaddr_in6 Address{};
    if (AName != nullptr && ALength >= sizeof Address) {
        std::memcpy(&Address, AName, sizeof Address);
    }
    if (Address.sin6_family == AF_INET6) {
        std::memcpy(AAddress, &Address.sin6_addr, 16);
    }
}

// IPV6_HOPLIMIT and IPV6_PKTINFO.
void HopLimitAndOurAddress(const msghdr& AReceived, uint8_t& AHopLimit, uint8_t AOurAddress[16]) {
    TtlAndAddress(AReceived, IPPROTO_IPV6, IPV6_HOPLIMIT, IPV6_PKTINFO, AHopLimit, AOurAddress);
}

} // namespace

std::span<const uint8_t> ControlData(const msghdr& AReceived, int ALevel, int AType) {
    std::span<const uint8_t> Found;
    WalkControl(AReceived, [&](int AThisLevel, int AThisType, std::span<const uint8_t> AData) {
        if (AThisLevel == ALevel && AThisType == AType) {
            Found = AData;
            return false;
        }
        return true;
    });
    return Found;
}

TReplyFacts ReplyFactsOf(const msghdr& AReceived) {
    TReplyFacts Facts;
    AddressOf(AReceived.msg_name, AReceived.msg_namelen, Facts.Source);
    TtlAndOurAddress(AReceived, Facts.Ttl, Facts.Destination);
    return Facts;
}

TMessage6Facts Message6FactsOf(const msghdr& AReceived) {
    TMessage6Facts Facts;
    Address6Of(AReceived.msg_name, AReceived.msg_namelen, Facts.Source);
    HopLimitAndOurAddress(AReceived, Facts.HopLimit, Facts.Destination);
    return Facts;
}

bool ErrorFactsOf(const msghdr& AReceived, TErrorFacts& AFacts) {
    const auto Record = ControlData(AReceived, IPPROTO_IP, IP_RECVERR);
    sock_extended_err Error{};
    if (Record.size() >= sizeof Error) {
        std::memcpy(&Error, Record.data(), sizeof Error);
    }
    // SO_EE_ORIGIN_LOCAL entries report our own sends failing, which sendto() reported
    // already; a raw socket would have read nothing for them.
    if (Record.size() < sizeof Error || Error.ee_origin != SO_EE_ORIGIN_ICMP) {
        return false;
    }
    AFacts = TErrorFacts{};
    AFacts.Type = Error.ee_type;
    AFacts.Code = Error.ee_code;
    AFacts.Info = Error.ee_info;
    // The offender (SO_EE_OFFENDER) follows the record: the error's sender.
    AddressOf(Record.data() + sizeof Error, Record.size() - sizeof Error, AFacts.Offender);
    // The error's address is the destination of the request it quotes.
    AddressOf(AReceived.msg_name, AReceived.msg_namelen, AFacts.Target);
    TtlAndOurAddress(AReceived, AFacts.Ttl, AFacts.Destination);
    return true;
}

bool Error6FactsOf(const msghdr& AReceived, TError6Facts& AFacts) {
    const auto Record = ControlData(AReceived, IPPROTO_IPV6, IPV6_RECVERR);
    sock_extended_err Error{};
    if (Record.size() >= sizeof Error) {
        std::memcpy(&Error, Record.data(), sizeof Error);
    }
    if (Record.size() < sizeof Error || Error.ee_origin != SO_EE_ORIGIN_ICMP6) {
        return false;
    }
    AFacts = TError6Facts{};
    AFacts.Type = Error.ee_type;
    AFacts.Code = Error.ee_code;
    AFacts.Info = Error.ee_info;
    Address6Of(Record.data() + sizeof Error, Record.size() - sizeof Error, AFacts.Offender);
    Address6Of(AReceived.msg_name, AReceived.msg_namelen, AFacts.Target);
    HopLimitAndOurAddress(AReceived, AFacts.HopLimit, AFacts.Destination);
    return true;
}

} // namespace IdPosix
