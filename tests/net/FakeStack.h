#pragma once
// A stack whose platform calls are scripted: datagrams queued for recv, a clock that
// moves when a wait or a datagram says so, and counts of every socket call the client
// makes. The rest of the stack (texts, conversions) is the real one.
#include "net/IdAddressText.h"
#include "net/IdGlobal.h"
#include "net/IdStackWindows.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

struct TFakeDatagram {
    std::vector<uint8_t> Bytes;
    uint32_t ArrivesAfterMs = 0; // clock advance before it becomes readable
    int RecvResult = 0;          // 0: the byte count; otherwise what recv returns
};

class TFakeStack : public TIdStackWindows {
  public:
    static TFakeStack* Current;
    static uint32_t Now;

    TFakeStack() { Current = this; }
    ~TFakeStack() override { Current = nullptr; }

    std::deque<TFakeDatagram> Queue;
    std::vector<uint8_t> LastSent;
    TIdInAddr LastAddress{};
    std::string LastAddress6; // the IPv6 target's text, "" until one is sent to
    int LastFamily = 0, LastProtocol = 0;
    std::vector<int> SelectTimeouts;
    int Sockets = 0, Closes = 0, Shutdowns = 0, TtlSets = 0, Sends = 0, Recvs = 0, Lookups = 0;
    int SendResult = -2; // -2: all bytes
    int32_t LastError = 0;
    bool RefuseSocket = false;
    bool SocketOpen = false;

    TIdInAddr ApiGetHostAddress(const std::string& AName) override {
        ++Lookups;
        if (AName == "known.test") {
            return TIdInAddr{{192, 0, 2, 77}};
        }
        LastError = Id_WSAHOST_NOT_FOUND;
        CheckResult(Id_SOCKET_ERROR);
        return {};
    }
    TIdStackSocketHandle ApiSocket(int AFamily, int, int AProtocol) override {
        LastFamily = AFamily;
        LastProtocol = AProtocol;
        if (RefuseSocket) {
            return Id_INVALID_SOCKET;
        }
        ++Sockets;
        SocketOpen = true;
        return 77;
    }
    int ApiSetSockOpt(TIdStackSocketHandle, int ALevel, int AName, const void* AValue,
                      int ALen) override {
        if (ALevel == Id_IPPROTO_IP && AName == Id_IP_TTL && ALen == 4 &&
            *static_cast<const int32_t*>(AValue) == 128) {
            ++TtlSets;
        }
        return 0;
    }
    int ApiSendToAddress(TIdStackSocketHandle, const void* ABuffer, int ALength, int,
                         const TIdInAddr& AAddress, int) override {
        ++Sends;
        LastAddress = AAddress;
        const auto* P = static_cast<const uint8_t*>(ABuffer);
        LastSent.assign(P, P + ALength);
        return SendResult == -2 ? ALength : SendResult;
    }
    int ApiSendToAddress6(TIdStackSocketHandle, const void* ABuffer, int ALength, int,
                          const TIp6Address& AAddress, int) override {
        ++Sends;
        LastAddress6 = Ip6Text(AAddress);
        const auto* P = static_cast<const uint8_t*>(ABuffer);
        LastSent.assign(P, P + ALength);
        return SendResult == -2 ? ALength : SendResult;
    }
    int ApiSelect(TIdSocketHandles* ARead, TIdSocketHandles*, TIdSocketHandles*,
                  int ATimeout) override {
        SelectTimeouts.push_back(ATimeout);
        if (!Queue.empty() &&
            (ATimeout < 0 || Queue.front().ArrivesAfterMs <= static_cast<uint32_t>(ATimeout))) {
            Now += Queue.front().ArrivesAfterMs;
            return 1;
        }
        Now += static_cast<uint32_t>(ATimeout < 0 ? 0 : ATimeout);
        if (!Queue.empty()) {
            Queue.front().ArrivesAfterMs -= static_cast<uint32_t>(ATimeout);
        }
        ARead->clear();
        return 0;
    }
    int ApiRecv(TIdStackSocketHandle, void* ABuffer, int ALength, int) override {
        ++Recvs;
        TFakeDatagram D = Queue.front();
        Queue.pop_front();
        if (D.RecvResult != 0) {
            LastError = Id_WSAECONNRESET;
            return D.RecvResult;
        }
        const int N = std::min<int>(ALength, static_cast<int>(D.Bytes.size()));
        std::copy(D.Bytes.begin(), D.Bytes.begin() + N, static_cast<uint8_t*>(ABuffer));
        return N;
    }
    int ApiShutdown(TIdStackSocketHandle, int) override {
        ++Shutdowns;
        return 0;
    }
    int ApiCloseSocket(TIdStackSocketHandle) override {
        ++Closes;
        SocketOpen = false;
        return 0;
    }
    int32_t ApiLastError() override { return LastError; }
};

// Installs the fake as the stack class and its clock as the tick source for one test.
class TFakeStackScope {
  public:
    explicit TFakeStackScope(uint32_t AStart = 1000, uint32_t APid = 0x1234ABCD) {
        TFakeStack::Now = AStart;
        Pid = APid;
        Saved = RegisteredStackClass;
        RegisteredStackClass = [] { return std::unique_ptr<TIdStack>(new TFakeStack); };
        SetIdClockSource(&Clock);
    }
    ~TFakeStackScope() {
        RegisteredStackClass = Saved;
        SetIdClockSource(nullptr);
    }
    static uint32_t Pid;

  private:
    static uint32_t Ticks() { return TFakeStack::Now; }
    static uint32_t ProcessId() { return Pid; }
    TIdClockSource Clock{&Ticks, &ProcessId};
    TIdStackClass Saved;
};
