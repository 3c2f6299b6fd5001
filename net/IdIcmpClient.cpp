#include "net/IdIcmpClient.h"

#include "net/IdException.h"
#include "net/IdGlobal.h"
#include "net/IdResourceStrings.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {
constexpr int DataOffset = 20;
constexpr uint8_t PayloadFill = 0x45;

// Identifier, sequence and send tick travel least significant byte first.
uint16_t ReadLe16(const uint8_t* P) {
    return static_cast<uint16_t>(P[0] | (P[1] << 8));
}
uint32_t ReadLe32(const uint8_t* P) {
    return P[0] | (P[1] << 8) | (P[2] << 16) | (static_cast<uint32_t>(P[3]) << 24);
}
void WriteLe16(uint8_t* P, uint16_t V) {
    P[0] = static_cast<uint8_t>(V);
    P[1] = static_cast<uint8_t>(V >> 8);
}
void WriteLe32(uint8_t* P, uint32_t V) {
    for (int I = 0; I < 4; ++I) {
        P[I] = static_cast<uint8_t>(V >> (8 * I));
    }
}
} // namespace

TIdIcmpClient::TIdIcmpClient() {
    SetProtocol(Id_IPPROTO_ICMP);
    SetReceiveTimeout(5000);
}

uint16_t TIdIcmpClient::EchoChecksum(std::span<const uint8_t> ABytes) {
    // Four bytes at a time: 2^16 is 1 in ones' complement arithmetic, so a 32-bit word adds
    // up to the sum of its two halves once folded.
    uint64_t Sum = 0;
    size_t I = 0;
    for (; I + 4 <= ABytes.size(); I += 4) {
        Sum += ReadLe32(&ABytes[I]);
    }
    for (; I + 2 <= ABytes.size(); I += 2) {
        Sum += ReadLe16(&ABytes[I]);
    }
    if (I < ABytes.size()) {
        Sum += ABytes[I];
    }
    while ((Sum >> 16) != 0) {
        Sum = (Sum & 0xFFFF) + (Sum >> 16);
    }
    return static_cast<uint16_t>(~Sum);
}

void TIdIcmpClient::BuildEchoRequest(const std::string& APayload, bool AIp6, uint32_t ATicks) {
    FRequestSize = EchoRequestSize;
    uint8_t* const Request = FRequestBuffer.data();
    std::memset(Request, 0, DataOffset);
    Request[0] = AIp6 ? Icmp6Type::EchoRequest : IcmpType::EchoRequest;
    Request[1] = 0;
    WriteLe16(&Request[4], static_cast<uint16_t>(IdProcessId()));
    WriteLe16(&Request[6], FSequenceNumber);
    WriteLe32(&Request[8], ATicks);
    // The payload's first bytes, the fill after them.
    constexpr size_t Room = EchoRequestSize - DataOffset;
    const size_t Given = std::min(APayload.size(), Room);
    std::memcpy(&Request[DataOffset], APayload.data(), Given);
    std::memset(&Request[DataOffset + Given], PayloadFill, Room - Given);
    // An ICMPv6 checksum covers the addresses, which only the kernel knows for sure: every
    // system computes it for ICMPv6 sockets and overwrites the field.
    if (!AIp6) {
        WriteLe16(&FRequestBuffer[2], EchoChecksum({FRequestBuffer.data(), EchoRequestSize}));
    }
}

void TIdIcmpClient::PingOnce(const std::string& APayload, uint16_t ASequence) {
    if (ASequence != 0) {
        FSequenceNumber = ASequence;
    }
    // The tick the request carries is where the round trip starts: one reading for both.
    const uint32_t T0 = IdTicks();
    BuildEchoRequest(APayload, HostIsIp6(), T0);
    FRequestSent = false;
    try {
        TransmitRequest();
        CollectReply();
        const uint32_t Rtt = GetTickDiff(T0, IdTicks());
        OpenBinding();
        SocketBinding().ReleaseSocket();
        FLastStatus.RoundTripMs = Rtt;
        NotifyReply(FLastStatus);
    } catch (...) {
        // A request that went on the wire owns its sequence number: the next exchange
        // must not take a late answer to this one for its own, so the socket that could
        // still receive that answer is closed as well.
        SocketBinding().ReleaseSocket();
        if (FRequestSent) {
            ++FSequenceNumber;
        }
        throw;
    }
    ++FSequenceNumber;
}

void TIdIcmpClient::TransmitRequest() {
    try {
        SendPacket(Host(), Port(), FRequestBuffer.data(), FRequestSize);
    } catch (const EIdNotAllBytesSent&) {
        FRequestSent = true; // part of it left
        throw;
    }
    FRequestSent = true;
}

void TIdIcmpClient::CollectReply() {
    TReplyStatus Status;
    WaitForReply(ReceiveTimeout(), Status);
    FLastStatus = std::move(Status);
}

void TIdIcmpClient::WaitForReply(int ATimeLeft, TReplyStatus& AStatus) {
    const uint32_t W0 = IdTicks();
    const bool NoLimit = ATimeLeft == Id_NoTimeLimit;
    const int64_t Budget = ATimeLeft;
    for (;;) {
        const int Count = ReceiveInto(FReplyBuffer.data(), BufferBytes, ATimeLeft);
        SharedStack->CheckResult(Count);
        if (ParseReply(Count, AStatus)) {
            return;
        }
        if (NoLimit) {
            continue;
        }
        // The deadline is fixed when the wait begins, however many packets are rejected.
        const int64_t Left = Budget - static_cast<int64_t>(GetTickDiff(W0, IdTicks()));
        if (Left <= 0) {
            AStatus = TimedOutStatus(FSequenceNumber);
            if (Family() == Id_PF_INET6) {
                AStatus.SourceAddress = "::";
            }
            return;
        }
        ATimeLeft = static_cast<int>(Left);
    }
}

bool TIdIcmpClient::ParseReply(int ACount, TReplyStatus& AStatus) {
    const std::span<const uint8_t> Datagram{FReplyBuffer.data(), static_cast<size_t>(ACount)};
    const uint16_t Identifier = ReadLe16(&FRequestBuffer[4]);
    const uint16_t Sequence = ReadLe16(&FRequestBuffer[6]);
    TDecodedReply Reply = Family() == Id_PF_INET6
                              ? DecodeEcho6Datagram(Datagram, Identifier, Sequence)
                              : DecodeEchoReply(Datagram, Identifier, Sequence);
    switch (Reply.Decision) {
    case TReplyDecision::Accepted:
        AStatus = std::move(Reply.Status);
        return true;
    case TReplyDecision::NotOurs:
        return false;
    case TReplyDecision::TooShort:
        throw EIdIcmpException(IdResourceStrings::RSICMPNotEnoughtBytes);
    case TReplyDecision::NonEcho:
        break;
    }
    throw EIdIcmpException(IdResourceStrings::RSICMPNonEchoResponse);
}

void TIdIcmpClient::NotifyReply(const TReplyStatus& AStatus) {
    if (OnReply) {
        OnReply(*this, AStatus);
    }
}
