#pragma once
// A raw socket client: one binding, a target, the protocol and the IP time-to-live. A target
// written as an IPv6 address is reached over IPv6, any other as today over IPv4.
#include "net/IdAddressText.h"
#include "net/IdComponent.h"
#include "net/IdSocketHandle.h"

#include <memory>
#include <string>
#include <vector>

class TIdRawBase : public TIdComponent {
  public:
    TIdRawBase();
    ~TIdRawBase() override;

    int BufferSize() const { return static_cast<int>(FWorkBuffer.size()); }
    void SetBufferSize(int ASize);
    const std::string& Host() const { return FHost; }
    void SetHost(std::string AHost);
    int Port() const { return FPort; }
    void SetPort(int APort) { FPort = APort; }
    int Protocol() const { return FProtocol; }
    void SetProtocol(int AProtocol) { FProtocol = AProtocol; }
    int ReceiveTimeout() const { return FReceiveTimeout; }
    void SetReceiveTimeout(int ATimeout) { FReceiveTimeout = ATimeout; }
    int PacketTtl() const { return FPacketTtl; }
    // The family of the last target sent to: Id_PF_INET, or Id_PF_INET6.
    int Family() const { return FFamily; }
    // True for host text that names an IPv6 address other than an IPv4-mapped one; only such
    // text is sent over IPv6.
    static bool IsIp6Host(const std::string& AHost);
    // IsIp6Host of Host(), read when the host was set.
    bool HostIsIp6() const { return FHostIsIp6; }

    TIdSocketHandle& SocketBinding() { return *FSocketBinding; }

    // Opens the raw socket when needed and sets its TTL: every use of the socket comes
    // through here.
    TIdSocketHandle& OpenBinding();
    // Resolves the host before the socket is touched, then sends.
    void SendPacket(const std::string& AHost, int APort, const void* ABuffer, int ASize);
    // 0 when nothing arrived within ATimeOut ms (negative: ReceiveTimeout); else recv's result.
    int ReceiveInto(void* ABuffer, int ACount, int ATimeOut = -1);

  private:
    std::unique_ptr<TIdSocketHandle> FSocketBinding;
    std::vector<uint8_t> FWorkBuffer;
    std::string FHost;
    // The host read as an IPv6 address once, not again at every exchange.
    bool FHostIsIp6 = false;
    TIp6Address FHostAddress6;
    int FPort = 0;
    int FReceiveTimeout = 0;
    int FProtocol = 255;
    int FPacketTtl = 128;
    int FFamily = Id_PF_INET;
};
