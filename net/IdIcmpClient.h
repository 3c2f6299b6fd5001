#pragma once
// One ICMP echo exchange over a raw socket: ICMP to an IPv4 host, ICMPv6 to an IPv6 one.
#include "net/IdEchoReply.h"
#include "net/IdRawClient.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

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

  private:
    // Decides the first ACount bytes of the reply buffer: true when AStatus holds the
    // outcome, false when the datagram is not ours; raises for one that is not ICMP echo.
    bool ParseReply(int ACount, TReplyStatus& AStatus);
    void BuildEchoRequest(const std::string& APayload, bool AIp6, uint32_t ATicks);
    void TransmitRequest();
    void CollectReply();
    void WaitForReply(int ATimeLeft, TReplyStatus& AStatus);
    void NotifyReply(const TReplyStatus& AStatus);

    std::array<uint8_t, BufferBytes> FReplyBuffer{};
    std::array<uint8_t, BufferBytes> FRequestBuffer{};
    uint16_t FSequenceNumber = 3489;
    int32_t FRequestSize = 0;
    TReplyStatus FLastStatus;
    bool FRequestSent = false;
};
