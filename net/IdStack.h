#pragma once
// The process-wide socket stack: every network component reaches the platform's sockets
// through one object of this class, made with the first component and freed with the last.
#include "net/IdWinSockTypes.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using TIdStackSocketHandle = IdWinSock2::TSocket;
inline constexpr TIdStackSocketHandle Id_INVALID_SOCKET = IdWinSock2::INVALID_SOCKET_WS;
inline constexpr int Id_SOCKET_ERROR = -1;
inline constexpr int Id_PF_INET = 2;
inline constexpr int Id_PF_INET6 = 23; // the Windows Sockets number
inline constexpr int Id_SOCK_RAW = 3;
inline constexpr int Id_IPPROTO_IP = 0;
inline constexpr int Id_IPPROTO_ICMP = 1;
inline constexpr int Id_IP_TTL = 4;
inline constexpr int Id_IPPROTO_IPV6 = 41;
inline constexpr int Id_IPPROTO_ICMPV6 = 58;
inline constexpr int Id_IPV6_UNICAST_HOPS = 4;
inline constexpr int Id_SD_SEND = 1;
inline constexpr int Id_NoTimeLimit = -2;

using TIdInAddr = IdWinSock2::TInAddr;
struct TIp6Address;
using TIdSocketHandles = std::vector<TIdStackSocketHandle>;

class TIdStack {
  public:
    virtual ~TIdStack();

    static std::unique_ptr<TIdStack> MakeStack();

    virtual void FillLocalAddresses() = 0;
    virtual std::string FirstLocalAddress() = 0;
    virtual const std::vector<std::string>& LocalAddressList() = 0;
    virtual TIdStackSocketHandle ApiAccept(TIdStackSocketHandle ASocket, std::string& AIP,
                                           int& APort) = 0;
    virtual int ApiBind(TIdStackSocketHandle ASocket, uint16_t AFamily, const std::string& AIP,
                        int APort) = 0;
    virtual int ApiCloseSocket(TIdStackSocketHandle ASocket) = 0;
    virtual int ApiConnect(TIdStackSocketHandle ASocket, uint16_t AFamily, const std::string& AIP,
                           int APort) = 0;
    virtual std::string ApiGetHostByName(const std::string& AHostName) = 0;
    // The name's first IPv4 address, as the bytes ApiGetHostByName writes as text.
    virtual TIdInAddr ApiGetHostAddress(const std::string& AHostName) = 0;
    virtual std::string ApiGetHostName() = 0;
    virtual std::string ApiGetHostByAddr(const std::string& AAddress) = 0;
    virtual int ApiGetServByName(const std::string& AServiceName) = 0;
    virtual std::vector<std::string> ApiGetServByPort(int APort) = 0;
    virtual uint16_t ApiHtons(uint16_t AHostShort) = 0;
    virtual int ApiListen(TIdStackSocketHandle ASocket, int ABacklog) = 0;
    virtual uint16_t ApiNtohs(uint16_t ANetShort) = 0;
    virtual uint32_t ApiHtonl(uint32_t AHostLong) = 0;
    virtual uint32_t ApiNtohl(uint32_t ANetLong) = 0;
    virtual int ApiRecv(TIdStackSocketHandle ASocket, void* ABuffer, int ALength, int AFlags) = 0;
    virtual int ApiRecvFrom(TIdStackSocketHandle ASocket, void* ABuffer, int ALength, int AFlags,
                            std::string& AIP, int& APort) = 0;
    // Lists not given are null; given lists come back holding only the ready handles.
    virtual int ApiSelect(TIdSocketHandles* ARead, TIdSocketHandles* AWrite,
                          TIdSocketHandles* AErrors, int ATimeout) = 0;
    virtual int ApiSend(TIdStackSocketHandle ASocket, const void* ABuffer, int ALength,
                        int AFlags) = 0;
    virtual int ApiSendTo(TIdStackSocketHandle ASocket, const void* ABuffer, int ALength,
                          int AFlags, const std::string& AIP, int APort) = 0;
    virtual int ApiSendToAddress(TIdStackSocketHandle ASocket, const void* ABuffer, int ALength,
                                 int AFlags, const TIdInAddr& AAddress, int APort) = 0;
    // A send to an IPv6 address; its zone, where it has one, names the link.
    virtual int ApiSendToAddress6(TIdStackSocketHandle ASocket, const void* ABuffer, int ALength,
                                  int AFlags, const TIp6Address& AAddress, int APort) = 0;
    virtual int ApiSetSockOpt(TIdStackSocketHandle ASocket, int ALevel, int AOptName,
                              const void* AOptVal, int AOptLen) = 0;
    virtual TIdStackSocketHandle ApiSocket(int AFamily, int AStruct, int AProtocol) = 0;
    virtual int ApiShutdown(TIdStackSocketHandle ASocket, int AHow) = 0;
    virtual std::string ErrorText(int32_t AErrorCode);
    virtual int32_t ApiLastError() = 0;
    virtual void ApiGetPeerName(TIdStackSocketHandle ASocket, int& AFamily, std::string& AIP,
                                int& APort) = 0;
    virtual void ApiGetSockName(TIdStackSocketHandle ASocket, int& AFamily, std::string& AIP,
                                int& APort) = 0;
    virtual int ApiGetSockOpt(TIdStackSocketHandle ASocket, int ALevel, int AOptName, void* AOptVal,
                              int& AOptLen) = 0;
    virtual std::string InAddrToText(const TIdInAddr& AAddress) = 0;
    virtual void ParseInAddr(const std::string& AText, TIdInAddr& AAddress) = 0;

    bool CheckResult(int AResult);
    bool CheckResult(int AResult, std::initializer_list<int32_t> AIgnore);
    [[noreturn]] void RaiseError(int32_t AErrorCode);
    TIdStackSocketHandle NewSocket(int AStruct, int AProtocol);
    TIdStackSocketHandle NewSocket(int AFamily, int AStruct, int AProtocol);
    std::string HostToAddress(const std::string& AHost);
    // What HostToAddress gives, as the address bytes: a send needs no text.
    TIdInAddr HostToInAddr(const std::string& AHost);
    static bool IsDottedQuad(const std::string& AText);
    TIdInAddr TextToInAddr(const std::string& AText);

    int32_t LastCode() const noexcept { return FLastCode; }

  protected:
    TIdStack() = default;
    // "Socket Error # <code>" and the text on the second line.
    static std::string FormatErrorText(int32_t AErrorCode, const std::string& AText);
    std::unique_ptr<std::vector<std::string>> FAddressList;

  private:
    int32_t FLastCode = 0;
    // The last host text that needed no lookup, with its address: every send converts its
    // host again, mostly the same text.
    std::mutex FLastHostLock;
    std::string FLastHostText;
    TIdInAddr FLastHostAddress{};
};

using TIdStackClass = std::unique_ptr<TIdStack> (*)();

// The one tie from this abstract stack to the concrete one: MakeStack builds whatever class
// is registered here, and the concrete stack's own file registers itself
// (TIdStackWindows::Create), so this header names no concrete class; every other call goes
// through the virtual functions above. Tests register a stack of their own.
extern TIdStackClass RegisteredStackClass;

// Process-wide state, guarded by StackLock.
extern std::unique_ptr<TIdStack> SharedStack;
extern int32_t StackUserCount;
extern std::mutex StackLock;
