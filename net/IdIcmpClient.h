#pragma once
// One ICMP echo exchange over a raw IPv4 socket.
#include "net/IdRawClient.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

enum TReplyKind : uint8_t {
    rkEchoReply = 0,
    rkError = 1,
    rkTimedOut = 2,
    rkUnreachable = 3,
    rkTtlExpired = 4,
};

struct TReplyStatus {
    int32_t ByteCount = 0;
    std::string SourceAddress;
    uint8_t IcmpType = 0;
    uint16_t Sequence = 0;
    uint32_t RoundTripMs = 0;
    uint8_t Ttl = 0;
    TReplyKind Kind = rkEchoReply;
};

using TOnReplyEvent =
    std::function<void(TIdBaseComponent& ASender, const TReplyStatus& AReplyStatus)>;

class TIdIcmpClient : public TIdRawClient {
  public:
    static constexpr int BufferBytes = 1024;
    static constexpr int EchoRequestSize = 52;

    TIdIcmpClient();

    // One complete exchange; a non-zero ASequence replaces SequenceNumber first. The
    // outcome goes to OnReply and stays in LastStatus; failures raise.
    void PingOnce(const std::string& APayload = "", uint16_t ASequence = 0);

    uint16_t SequenceNumber() const { return FSequenceNumber; }
    void SetSequenceNumber(uint16_t AValue) { FSequenceNumber = AValue; }
    const TReplyStatus& LastStatus() const { return FLastStatus; }
    const uint8_t* RequestBuffer() const { return FRequestBuffer.data(); }
    int RequestSize() const { return FRequestSize; }

    TOnReplyEvent OnReply;

    // Internet checksum of the bytes, words read least significant byte first; an odd last
    // byte counts as the low half of a word.
    static uint16_t EchoChecksum(std::span<const uint8_t> ABytes);

    // Decides one received datagram; public so that the decoder can be driven directly.
    bool ParseReply(int ACount, TReplyStatus& AStatus);
    uint8_t* ReplyBuffer() { return FReplyBuffer.data(); }

  private:
    void BuildEchoRequest(const std::string& APayload);
    void TransmitRequest();
    void CollectReply();
    void WaitForReply(int ATimeLeft, TReplyStatus& AStatus);
    void NotifyReply(const TReplyStatus& AStatus);
    void SetTimedOut(TReplyStatus& AStatus) const;
    int EchoHeaderOffset(int ACount, int AHeader, TReplyKind AKind) const;

    std::array<uint8_t, BufferBytes> FReplyBuffer{};
    std::array<uint8_t, BufferBytes> FRequestBuffer{};
    uint16_t FSequenceNumber = 3489;
    int32_t FRequestSize = 0;
    TReplyStatus FLastStatus;
    bool FRequestSent = false;
};
