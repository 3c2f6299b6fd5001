#include "net/IcmpFrames.h"

#include "net/IdIcmpClient.h"

#include <algorithm>
#include <cstring>

namespace IcmpFrames {

namespace {

constexpr uint8_t IpProtocolIcmp = 1;
constexpr uint8_t IpProtocolIcmp6 = 58;
constexpr uint8_t CodeFragmentationNeeded = 4;

void WriteBe16(uint8_t* P, uint32_t V) {
    P[0] = static_cast<uint8_t>(V >> 8);
    P[1] = static_cast<uint8_t>(V);
}

uint16_t ReadBe16(const uint8_t* P) {
    return static_cast<uint16_t>((P[0] << 8) | P[1]);
}

uint16_t Fold(uint32_t ASum) {
    while (ASum >> 16) {
        ASum = (ASum & 0xFFFF) + (ASum >> 16);
    }
    return static_cast<uint16_t>(ASum);
}

// Version 4, no options, no fragment: the fields a receiver reads are the ones the facts
// hold; identification and type of service, which nobody tells, stay 0.
void WriteIpv4Header(uint8_t* AHeader, size_t ATotal, uint8_t ATtl, const uint8_t ASource[4],
                     const uint8_t ADestination[4]) {
    std::memset(AHeader, 0, Ipv4HeaderBytes);
    AHeader[0] = 0x45;
    WriteBe16(&AHeader[2], static_cast<uint32_t>(std::min<size_t>(ATotal, 0xFFFF)));
    AHeader[8] = ATtl;
    AHeader[9] = IpProtocolIcmp;
    std::memcpy(&AHeader[12], ASource, 4);
    std::memcpy(&AHeader[16], ADestination, 4);
    WriteBe16(&AHeader[10], InternetChecksum({AHeader, Ipv4HeaderBytes}));
}

// Version 6, no extension header: the payload follows as the next header ICMPv6. Traffic
// class and flow label, which nobody tells, stay 0.
void WriteIpv6Header(uint8_t* AHeader, size_t APayload, uint8_t AHopLimit,
                     const uint8_t ASource[16], const uint8_t ADestination[16]) {
    std::memset(AHeader, 0, Ipv6HeaderBytes);
    AHeader[0] = 0x60;
    WriteBe16(&AHeader[4], static_cast<uint32_t>(std::min<size_t>(APayload, 0xFFFF)));
    AHeader[6] = IpProtocolIcmp6;
    AHeader[7] = AHopLimit;
    std::memcpy(&AHeader[8], ASource, 16);
    std::memcpy(&AHeader[24], ADestination, 16);
}

// The ICMPv6 checksum covers a pseudo-header of the addresses, the length and the next
// header (RFC 8200, 8.1) before the message.
uint16_t Icmp6Checksum(const uint8_t ASource[16], const uint8_t ADestination[16],
                       std::span<const uint8_t> AMessage) {
    uint8_t Pseudo[Ipv6HeaderBytes] = {};
    std::memcpy(&Pseudo[0], ASource, 16);
    std::memcpy(&Pseudo[16], ADestination, 16);
    const auto Length = static_cast<uint32_t>(AMessage.size());
    WriteBe16(&Pseudo[32], Length >> 16);
    WriteBe16(&Pseudo[34], Length);
    Pseudo[39] = IpProtocolIcmp6;
    // Each part's checksum is its sum complemented; the pseudo-header's length is even, so
    // the two sums add up as one over both.
    const uint32_t Sum = static_cast<uint16_t>(~InternetChecksum(Pseudo)) +
                         static_cast<uint32_t>(static_cast<uint16_t>(~InternetChecksum(AMessage)));
    return static_cast<uint16_t>(~Fold(Sum));
}

// The second word of the error header carries what the type defines there, handed over as
// one number (Linux's error queue has it as ee_info).
void WriteErrorWord(uint8_t* AWord, uint8_t AType, uint8_t ACode, uint32_t AInfo) {
    std::memset(AWord, 0, 4);
    if (AType == IcmpType::ParameterProblem) {
        AWord[0] = static_cast<uint8_t>(AInfo);
    } else if (AType == IcmpType::Unreachable && ACode == CodeFragmentationNeeded) {
        WriteBe16(&AWord[2], AInfo);
    } else if (AType == IcmpType::Redirect) {
        WriteBe16(&AWord[0], AInfo >> 16);
        WriteBe16(&AWord[2], AInfo);
    }
}

} // namespace

uint16_t InternetChecksum(std::span<const uint8_t> ABytes) {
    // The echo client's sum reads its words least significant byte first; a one's-complement
    // sum read the other way round is the same sum with its bytes swapped.
    const uint16_t Swapped = TIdIcmpClient::EchoChecksum(ABytes);
    return static_cast<uint16_t>((Swapped >> 8) | (Swapped << 8));
}

void ReplaceIdentifier(std::span<uint8_t> AEcho, TIdentifier AIdentifier) {
    if (AEcho.size() < 6) {
        for (size_t I = 4; I < AEcho.size(); ++I) {
            AEcho[I] = AIdentifier.Bytes[I - 4];
        }
        return;
    }
    // RFC 1624: HC' = ~(~HC + ~m + m'), for the one 16-bit word m that changes to m'.
    const uint16_t Old = ReadBe16(&AEcho[4]);
    const uint16_t New = ReadBe16(AIdentifier.Bytes);
    const uint16_t Checksum = ReadBe16(&AEcho[2]);
    const uint32_t Sum =
        static_cast<uint16_t>(~Checksum) + static_cast<uint32_t>(static_cast<uint16_t>(~Old)) + New;
    auto Mended = static_cast<uint16_t>(~Fold(Sum));
    AEcho[4] = AIdentifier.Bytes[0];
    AEcho[5] = AIdentifier.Bytes[1];
    // The update cannot tell the two zeros of one's complement apart: where every other word
    // is 0 it gives 0, but such a message sums to +0 and so takes 0xFFFF, as a full sum gives.
    if (Mended == 0 && std::all_of(AEcho.begin(), AEcho.end(), [&](const uint8_t& B) {
            const auto At = &B - AEcho.data();
            return B == 0 || At == 2 || At == 3;
        })) {
        Mended = 0xFFFF;
    }
    WriteBe16(&AEcho[2], Mended);
}

void FrameReply(const TReplyFacts& AFacts, std::span<uint8_t> ADatagram, size_t AIcmpBytes,
                TIdentifier AKernel, TIdentifier AClient) {
    if (AKernel != AClient) {
        ReplaceIdentifier(ADatagram.subspan(Ipv4HeaderBytes, AIcmpBytes), AClient);
    }
    WriteIpv4Header(ADatagram.data(), Ipv4HeaderBytes + AIcmpBytes, AFacts.Ttl, AFacts.Source,
                    AFacts.Destination);
}

void FrameMessage6(const TMessage6Facts& AFacts, std::span<uint8_t> ADatagram, size_t AIcmpBytes,
                   TIdentifier AKernel, TIdentifier AClient) {
    if (AKernel != AClient && AIcmpBytes > 0 &&
        ADatagram[Ipv6HeaderBytes] == Icmp6Type::EchoReply) {
        ReplaceIdentifier(ADatagram.subspan(Ipv6HeaderBytes, AIcmpBytes), AClient);
    }
    WriteIpv6Header(ADatagram.data(), AIcmpBytes, AFacts.HopLimit, AFacts.Source,
                    AFacts.Destination);
}

void FrameError(const TErrorFacts& AFacts, std::span<uint8_t> ADatagram, size_t AQuotedBytes,
                TIdentifier AKernel, TIdentifier AClient) {
    if (AKernel != AClient) {
        ReplaceIdentifier(ADatagram.subspan(ErrorPrefixBytes, AQuotedBytes), AClient);
    }
    uint8_t* Outer = ADatagram.data();
    uint8_t* Icmp = Outer + Ipv4HeaderBytes;
    uint8_t* Quoted = Icmp + IcmpHeaderBytes;
    // The quoted header is ours, from us to the target, as it left.
    WriteIpv4Header(Quoted, Ipv4HeaderBytes + AFacts.RequestBytes, AFacts.RequestTtl,
                    AFacts.Destination, AFacts.Target);
    Icmp[0] = AFacts.Type;
    Icmp[1] = AFacts.Code;
    Icmp[2] = Icmp[3] = 0;
    WriteErrorWord(&Icmp[4], AFacts.Type, AFacts.Code, AFacts.Info);
    const size_t IcmpBytes = IcmpHeaderBytes + Ipv4HeaderBytes + AQuotedBytes;
    WriteBe16(&Icmp[2], InternetChecksum({Icmp, IcmpBytes}));
    WriteIpv4Header(Outer, Ipv4HeaderBytes + IcmpBytes, AFacts.Ttl, AFacts.Offender,
                    AFacts.Destination);
}

void FrameError6(const TError6Facts& AFacts, std::span<uint8_t> ADatagram, size_t AQuotedBytes,
                 TIdentifier AKernel, TIdentifier AClient) {
    if (AKernel != AClient) {
        ReplaceIdentifier(ADatagram.subspan(Error6PrefixBytes, AQuotedBytes), AClient);
    }
    uint8_t* Outer = ADatagram.data();
    uint8_t* Icmp = Outer + Ipv6HeaderBytes;
    uint8_t* Quoted = Icmp + IcmpHeaderBytes;
    WriteIpv6Header(Quoted, AFacts.RequestBytes, AFacts.RequestHopLimit, AFacts.Destination,
                    AFacts.Target);
    Icmp[0] = AFacts.Type;
    Icmp[1] = AFacts.Code;
    std::memset(&Icmp[2], 0, 6);
    // Unlike ICMP's, the ICMPv6 error word is one 32-bit number where the type has one.
    if (AFacts.Type == Icmp6Type::PacketTooBig || AFacts.Type == Icmp6Type::ParameterProblem) {
        WriteBe16(&Icmp[4], AFacts.Info >> 16);
        WriteBe16(&Icmp[6], AFacts.Info);
    }
    const size_t IcmpBytes = IcmpHeaderBytes + Ipv6HeaderBytes + AQuotedBytes;
    WriteBe16(&Icmp[2], Icmp6Checksum(AFacts.Offender, AFacts.Destination, {Icmp, IcmpBytes}));
    WriteIpv6Header(Outer, IcmpBytes, AFacts.HopLimit, AFacts.Offender, AFacts.Destination);
}

} // namespace IcmpFrames
