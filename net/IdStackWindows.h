#pragma once
// The one concrete stack on every platform: it speaks Windows Sockets 2 through the run-time
// binding, which the real WS2_32.DLL answers on Windows and the C library's adapters
// (net/posix) on POSIX.
#include "net/IdStack.h"

class TIdStackWindows : public TIdStack {
  public:
    TIdStackWindows();
    static std::unique_ptr<TIdStack> Create();

    void FillLocalAddresses() override;
    std::string FirstLocalAddress() override;
    const std::vector<std::string>& LocalAddressList() override;
    TIdStackSocketHandle ApiAccept(TIdStackSocketHandle ASocket, std::string& AIP,
                                   int& APort) override;
    int ApiBind(TIdStackSocketHandle ASocket, uint16_t AFamily, const std::string& AIP,
                int APort) override;
    int ApiCloseSocket(TIdStackSocketHandle ASocket) override;
    int ApiConnect(TIdStackSocketHandle ASocket, uint16_t AFamily, const std::string& AIP,
                   int APort) override;
    std::string ApiGetHostByName(const std::string& AHostName) override;
    TIdInAddr ApiGetHostAddress(const std::string& AHostName) override;
    std::string ApiGetHostName() override;
    std::string ApiGetHostByAddr(const std::string& AAddress) override;
    int ApiGetServByName(const std::string& AServiceName) override;
    std::vector<std::string> ApiGetServByPort(int APort) override;
    uint16_t ApiHtons(uint16_t AHostShort) override;
    int ApiListen(TIdStackSocketHandle ASocket, int ABacklog) override;
    uint16_t ApiNtohs(uint16_t ANetShort) override;
    uint32_t ApiHtonl(uint32_t AHostLong) override;
    uint32_t ApiNtohl(uint32_t ANetLong) override;
    int ApiRecv(TIdStackSocketHandle ASocket, void* ABuffer, int ALength, int AFlags) override;
    int ApiRecvFrom(TIdStackSocketHandle ASocket, void* ABuffer, int ALength, int AFlags,
                    std::string& AIP, int& APort) override;
    int ApiSelect(TIdSocketHandles* ARead, TIdSocketHandles* AWrite, TIdSocketHandles* AErrors,
                  int ATimeout) override;
    int ApiSend(TIdStackSocketHandle ASocket, const void* ABuffer, int ALength,
                int AFlags) override;
    int ApiSendTo(TIdStackSocketHandle ASocket, const void* ABuffer, int ALength, int AFlags,
                  const std::string& AIP, int APort) override;
    int ApiSendToAddress(TIdStackSocketHandle ASocket, const void* ABuffer, int ALength, int AFlags,
                         const TIdInAddr& AAddress, int APort) override;
    int ApiSendToAddress6(TIdStackSocketHandle ASocket, const void* ABuffer, int ALength,
                          int AFlags, const TIp6Address& AAddress, int APort) override;
    int ApiSetSockOpt(TIdStackSocketHandle ASocket, int ALevel, int AOptName, const void* AOptVal,
                      int AOptLen) override;
    TIdStackSocketHandle ApiSocket(int AFamily, int AStruct, int AProtocol) override;
    int ApiShutdown(TIdStackSocketHandle ASocket, int AHow) override;
    std::string ErrorText(int32_t AErrorCode) override;
    int32_t ApiLastError() override;
    void ApiGetPeerName(TIdStackSocketHandle ASocket, int& AFamily, std::string& AIP,
                        int& APort) override;
    void ApiGetSockName(TIdStackSocketHandle ASocket, int& AFamily, std::string& AIP,
                        int& APort) override;
    int ApiGetSockOpt(TIdStackSocketHandle ASocket, int ALevel, int AOptName, void* AOptVal,
                      int& AOptLen) override;
    std::string InAddrToText(const TIdInAddr& AAddress) override;
    void ParseInAddr(const std::string& AText, TIdInAddr& AAddress) override;

  private:
    IdWinSock2::TSockAddrIn MakeSockAddr(uint16_t AFamily, const std::string& AIP, int APort,
                                         bool AEmptyIsAny);
};
