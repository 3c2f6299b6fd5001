#include "net/IdRawBase.h"

#include "net/IdAddressText.h"

#include <cstring>

TIdRawBase::TIdRawBase() : FSocketBinding(std::make_unique<TIdSocketHandle>()) {
    SetBufferSize(8192);
}

// The binding closes its socket while the stack still exists: members go before the
// component base gives up its hold on the stack.
TIdRawBase::~TIdRawBase() {
    FSocketBinding.reset();
}

void TIdRawBase::SetBufferSize(int ASize) {
    FWorkBuffer.resize(static_cast<size_t>(ASize < 0 ? 0 : ASize));
}

TIdSocketHandle& TIdRawBase::OpenBinding() {
    const int32_t Ttl = FPacketTtl;
    if (FFamily == Id_PF_INET6) {
        if (!FSocketBinding->IsOpen() || FSocketBinding->Family() != Id_PF_INET6) {
            FSocketBinding->OpenSocket(Id_PF_INET6, Id_SOCK_RAW,
                                       FProtocol == Id_IPPROTO_ICMP ? Id_IPPROTO_ICMPV6
                                                                    : FProtocol);
        }
        FSocketBinding->SetOption(Id_IPPROTO_IPV6, Id_IPV6_UNICAST_HOPS, &Ttl, sizeof Ttl);
        return *FSocketBinding;
    }
    if (!FSocketBinding->IsOpen() || FSocketBinding->Family() != Id_PF_INET) {
        FSocketBinding->OpenSocket(Id_SOCK_RAW, FProtocol);
    }
    FSocketBinding->SetOption(Id_IPPROTO_IP, Id_IP_TTL, &Ttl, sizeof Ttl);
    return *FSocketBinding;
}

namespace {

// IPv6 host text, with its address; an IPv4-mapped address is not one: its text reads as a
// dotted quad to the window's address check and has always gone the IPv4 way.
bool ReadIp6Host(const std::string& AHost, TIp6Address& AAddress) {
    constexpr uint8_t MappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    return ParseIp6Text(AHost, AAddress) &&
           std::memcmp(AAddress.Bytes, MappedPrefix, sizeof MappedPrefix) != 0;
}

} // namespace

bool TIdRawBase::IsIp6Host(const std::string& AHost) {
    TIp6Address Address;
    return ReadIp6Host(AHost, Address);
}

void TIdRawBase::SetHost(std::string AHost) {
    FHost = std::move(AHost);
    FHostAddress6 = TIp6Address{};
    FHostIsIp6 = ReadIp6Host(FHost, FHostAddress6);
}

void TIdRawBase::SendPacket(const std::string& AHost, int APort, const void* ABuffer, int ASize) {
    // The client's own host was read when it was set.
    const bool OwnHost = AHost == FHost;
    if (TIp6Address Other; OwnHost ? FHostIsIp6 : ReadIp6Host(AHost, Other)) {
        FFamily = Id_PF_INET6;
        OpenBinding().SendDatagram(OwnHost ? FHostAddress6 : Other, APort, ABuffer, ASize);
        return;
    }
    FFamily = Id_PF_INET;
    const TIdInAddr Address = SharedStack->HostToInAddr(AHost);
    OpenBinding().SendDatagram(Address, APort, ABuffer, ASize);
}

int TIdRawBase::ReceiveInto(void* ABuffer, int ACount, int ATimeOut) {
    if (ACount <= 0 || ABuffer == nullptr) {
        return 0;
    }
    if (ATimeOut < 0) {
        ATimeOut = FReceiveTimeout;
    }
    if (OpenBinding().WaitReadable(ATimeOut)) {
        return OpenBinding().ReceiveData(ABuffer, ACount, 0);
    }
    return 0;
}
