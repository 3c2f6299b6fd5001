#include "net/IdRawBase.h"

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
    if (!FSocketBinding->IsOpen()) {
        FSocketBinding->OpenSocket(Id_SOCK_RAW, FProtocol);
    }
    const int32_t Ttl = FPacketTtl;
    FSocketBinding->SetOption(Id_IPPROTO_IP, Id_IP_TTL, &Ttl, sizeof Ttl);
    return *FSocketBinding;
}

void TIdRawBase::SendPacket(const std::string& AHost, int APort, const void* ABuffer, int ASize) {
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
