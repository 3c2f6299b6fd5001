#include "net/EchoHelperProtocol.h"

#include "net/IdEchoReply.h"

#include <algorithm>
#include <cstring>

namespace EchoHelper {
namespace {

constexpr size_t IcmpHeaderSize = 8;
constexpr size_t MinIpHeaderSize = 20;
constexpr uint8_t ProtocolIcmp = 1;

namespace Type = IcmpType;

bool IsError(uint8_t AType) {
    return AType == Type::Unreachable || AType == Type::SourceQuench || AType == Type::Redirect ||
           AType == Type::TimeExceeded || AType == Type::ParameterProblem;
}

// The IPv4 header that starts at AAt, whole inside ABytes; its length, or 0.
size_t IpHeaderAt(std::span<const uint8_t> ABytes, size_t AAt) {
    if (ABytes.size() < AAt + MinIpHeaderSize || (ABytes[AAt] >> 4) != 4) {
        return 0;
    }
    const size_t Length = static_cast<size_t>(ABytes[AAt] & 0x0F) * 4;
    return Length >= MinIpHeaderSize && ABytes.size() >= AAt + Length ? Length : 0;
}

// Identifier and sequence: the echo header's second word, compared as bytes.
bool SameExchange(const TRequest& ARequest, const uint8_t* AEcho) {
    return std::memcmp(AEcho + 4, ARequest.Echo + 4, 4) == 0;
}

} // namespace

int CheckRequest(std::span<const uint8_t> AMessage, TRequest& ARequest) {
    if (AMessage.size() != sizeof(TRequest)) {
        return RefusedMalformed;
    }
    std::memcpy(&ARequest, AMessage.data(), sizeof ARequest);
    if ((ARequest.Family != 4 && ARequest.Family != 6) || ARequest.Length < IcmpHeaderSize ||
        ARequest.Length > MaxEchoBytes) {
        return RefusedMalformed;
    }
    // Each family's own echo request only: an ICMPv6 socket would send type 8 as it is.
    const uint8_t Echo = ARequest.Family == 6 ? Icmp6Type::EchoRequest : Type::EchoRequest;
    if (ARequest.Echo[0] != Echo || ARequest.Echo[1] != 0) {
        return RefusedNotEcho;
    }
    return 0;
}

bool Answers(const TRequest& ARequest, std::span<const uint8_t> ADatagram) {
    const size_t Outer = IpHeaderAt(ADatagram, 0);
    if (Outer == 0 || ADatagram[9] != ProtocolIcmp || ADatagram.size() < Outer + IcmpHeaderSize) {
        return false;
    }
    const uint8_t* Icmp = ADatagram.data() + Outer;
    const size_t IcmpLength = ADatagram.size() - Outer;
    if (Icmp[0] == Type::EchoReply) {
        return SameExchange(ARequest, Icmp);
    }
    // A raw socket reads its own request on loopback, and the client takes it as the answer.
    if (Icmp[0] == Type::EchoRequest) {
        return std::memcmp(ADatagram.data() + 16, ARequest.Address, 4) == 0 &&
               IcmpLength == ARequest.Length && std::equal(Icmp, Icmp + IcmpLength, ARequest.Echo);
    }
    if (!IsError(Icmp[0])) {
        return false;
    }
    const size_t Quoted = Outer + IcmpHeaderSize;
    const size_t QuotedHeader = IpHeaderAt(ADatagram, Quoted);
    if (QuotedHeader == 0 || ADatagram[Quoted + 9] != ProtocolIcmp ||
        std::memcmp(ADatagram.data() + Quoted + 16, ARequest.Address, 4) != 0 ||
        ADatagram.size() < Quoted + QuotedHeader + IcmpHeaderSize) {
        return false;
    }
    const uint8_t* Echo = ADatagram.data() + Quoted + QuotedHeader;
    return Echo[0] == Type::EchoRequest && Echo[1] == 0 && SameExchange(ARequest, Echo);
}

namespace {
constexpr size_t Ip6HeaderSize = 40;
constexpr size_t Ip6DestinationAt = 24;
constexpr uint8_t NextHeaderIcmp6 = 58;
namespace Type6 = Icmp6Type;
} // namespace

bool AnswersV6(const TRequest& ARequest, std::span<const uint8_t> AMessage) {
    if (ARequest.Family != 6 || AMessage.size() < IcmpHeaderSize) {
        return false;
    }
    if (AMessage[0] == Type6::EchoReply) {
        return SameExchange(ARequest, AMessage.data());
    }
    if (AMessage[0] < Type6::Unreachable || AMessage[0] > Type6::ParameterProblem) {
        return false;
    }
    const uint8_t* Quoted = AMessage.data() + IcmpHeaderSize;
    if (AMessage.size() < IcmpHeaderSize + Ip6HeaderSize + IcmpHeaderSize ||
        (Quoted[0] >> 4) != 6 || Quoted[6] != NextHeaderIcmp6 ||
        std::memcmp(Quoted + Ip6DestinationAt, ARequest.Address, 16) != 0) {
        return false;
    }
    const uint8_t* Echo = Quoted + Ip6HeaderSize;
    return Echo[0] == Type6::EchoRequest && Echo[1] == 0 && SameExchange(ARequest, Echo);
}

} // namespace EchoHelper
