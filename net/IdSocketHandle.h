#pragma once
// One platform socket and the few calls the raw client makes on it.
#include "net/IdStack.h"

#include <string>

class TIdSocketHandle {
  public:
    TIdSocketHandle();
    TIdSocketHandle(const TIdSocketHandle&) = delete;
    TIdSocketHandle& operator=(const TIdSocketHandle&) = delete;
    virtual ~TIdSocketHandle();

    virtual void ReleaseSocket();
    virtual void Connect(int AFamily = Id_PF_INET);
    virtual int RecvFrom(void* ABuffer, int ALength, int AFlags, std::string& AIP, int& APort);

    void OpenSocket(int ASocketType, int AProtocol);
    void OpenSocket(int AFamily, int ASocketType, int AProtocol);
    void SetOption(int ALevel, int AOptionName, const void* AValue, int ALength);
    void SendDatagram(const TIdInAddr& AAddress, int APort, const void* ABuffer, int ASize);
    void SendDatagram(const TIp6Address& AAddress, int APort, const void* ABuffer, int ASize);
    int ReceiveData(void* ABuffer, int ALength, int AFlags);
    bool WaitReadable(int ATimeOut);
    void ClearState(bool AClearLocal);

    TIdStackSocketHandle SocketId() const { return FSocketId; }
    int Family() const { return FFamily; }
    bool IsOpen() const { return FIsOpen; }
    const std::string& IP() const { return FIP; }
    void SetIP(std::string AIP) { FIP = std::move(AIP); }
    int Port() const { return FPort; }
    void SetPort(int APort) { FPort = APort; }
    const std::string& RemoteAddress() const { return FRemoteAddress; }
    void SetRemoteAddress(std::string A) { FRemoteAddress = std::move(A); }
    int RemotePort() const { return FRemotePort; }
    void SetRemotePort(int APort) { FRemotePort = APort; }
    int ClientPortMin() const { return FClientPortMin; }
    int ClientPortMax() const { return FClientPortMax; }

  private:
    // What a send's result means, the same for either family.
    void CheckSent(int ASent, int ASize);

    TIdStackSocketHandle FSocketId = Id_INVALID_SOCKET;
    bool FIsOpen = false;
    int FFamily = Id_PF_INET;
    std::string FIP;
    std::string FRemoteAddress;
    int FPort = 0;
    int FRemotePort = 0;
    int FClientPortMin = 0;
    int FClientPortMax = 0;
    // The list a wait hands to the stack, kept so that no exchange allocates one.
    TIdSocketHandles FWaitList;
};
