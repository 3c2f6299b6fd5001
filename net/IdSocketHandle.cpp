#include "net/IdSocketHandle.h"

#include "net/IdAddressText.h"
#include "net/IdException.h"

TIdSocketHandle::TIdSocketHandle() {
    ClearState(true);
}

TIdSocketHandle::~TIdSocketHandle() {
    ReleaseSocket();
}

void TIdSocketHandle::ReleaseSocket() {
    if (!FIsOpen) {
        return;
    }
    FIsOpen = false;
    // Nothing useful can be done when a close fails; the handle is gone either way.
    SharedStack->ApiShutdown(FSocketId, Id_SD_SEND);
    SharedStack->ApiCloseSocket(FSocketId);
}

void TIdSocketHandle::Connect(int AFamily) {
    SharedStack->CheckResult(SharedStack->ApiConnect(FSocketId, static_cast<uint16_t>(AFamily),
                                                     FRemoteAddress, FRemotePort));
}

int TIdSocketHandle::RecvFrom(void* ABuffer, int ALength, int AFlags, std::string& AIP,
                              int& APort) {
    return SharedStack->ApiRecvFrom(FSocketId, ABuffer, ALength, AFlags, AIP, APort);
}

void TIdSocketHandle::OpenSocket(int ASocketType, int AProtocol) {
    OpenSocket(Id_PF_INET, ASocketType, AProtocol);
}

void TIdSocketHandle::OpenSocket(int AFamily, int ASocketType, int AProtocol) {
    ReleaseSocket();
    FSocketId = SharedStack->NewSocket(AFamily, ASocketType, AProtocol);
    FFamily = AFamily;
    FIsOpen = true;
}

void TIdSocketHandle::SetOption(int ALevel, int AOptionName, const void* AValue, int ALength) {
    SharedStack->CheckResult(
        SharedStack->ApiSetSockOpt(FSocketId, ALevel, AOptionName, AValue, ALength));
}

void TIdSocketHandle::SendDatagram(const TIdInAddr& AAddress, int APort, const void* ABuffer,
                                   int ASize) {
    CheckSent(SharedStack->ApiSendToAddress(FSocketId, ABuffer, ASize, 0, AAddress, APort), ASize);
}

void TIdSocketHandle::SendDatagram(const TIp6Address& AAddress, int APort, const void* ABuffer,
                                   int ASize) {
    CheckSent(SharedStack->ApiSendToAddress6(FSocketId, ABuffer, ASize, 0, AAddress, APort), ASize);
}

void TIdSocketHandle::CheckSent(int ASent, int ASize) {
    if (ASent == Id_SOCKET_ERROR) {
        if (SharedStack->ApiLastError() == Id_WSAEMSGSIZE) {
            throw EIdPackageSizeTooBig();
        }
        SharedStack->CheckResult(Id_SOCKET_ERROR);
    }
    if (ASent != ASize) {
        throw EIdNotAllBytesSent();
    }
}

int TIdSocketHandle::ReceiveData(void* ABuffer, int ALength, int AFlags) {
    return SharedStack->ApiRecv(FSocketId, ABuffer, ALength, AFlags);
}

bool TIdSocketHandle::WaitReadable(int ATimeOut) {
    if (!FIsOpen) {
        throw EIdConnClosedGracefully();
    }
    FWaitList.assign(1, FSocketId);
    return SharedStack->ApiSelect(&FWaitList, nullptr, nullptr, ATimeOut) == 1;
}

void TIdSocketHandle::ClearState(bool AClearLocal) {
    FIsOpen = false;
    FSocketId = Id_INVALID_SOCKET;
    if (AClearLocal) {
        FIP.clear();
        FPort = 0;
    }
    FRemoteAddress.clear();
    FRemotePort = 0;
}
