#include "net/IdStackWindows.h"

#include "net/IdAddressText.h"
#include "net/IdConvert.h"
#include "net/IdException.h"
#include "net/IdResourceStrings.h"
#include "net/IdWinSock2.h"

#include <cstring>

namespace WS = IdWinSock2;
using WS::FD_SETSIZE_WS;
using WS::TFdSet;
using WS::THostEnt;
using WS::TServEnt;
using WS::TSockAddr;
using WS::TSockAddrIn;
using WS::TTimeVal;
using WS::TULong;

TIdStackClass RegisteredStackClass = &TIdStackWindows::Create;

namespace {
constexpr int AddressLength = static_cast<int>(sizeof(TSockAddrIn));

const TSockAddr* AsSockAddr(const TSockAddrIn& A) {
    return reinterpret_cast<const TSockAddr*>(&A);
}
TSockAddr* AsSockAddr(TSockAddrIn& A) {
    return reinterpret_cast<TSockAddr*>(&A);
}

TIdInAddr InAddrFromHostEnt(const THostEnt& AHost, int AIndex) {
    TIdInAddr Result;
    std::memcpy(Result.Bytes, AHost.h_addr_list[AIndex], 4);
    return Result;
}

// The set of a handle list, or none for no list; more than a set can hold is refused before
// any wait. Only the handles listed are written: the set's count says where they end, and
// the echo client waits on one socket at every exchange.
TFdSet* FillSet(TFdSet& ASet, const TIdSocketHandles* AList) {
    if (AList == nullptr) {
        return nullptr;
    }
    const size_t Count = AList->size();
    if (Count > static_cast<size_t>(FD_SETSIZE_WS)) {
        throw EIdStackSetSizeExceeded();
    }
    for (size_t I = 0; I < Count; ++I) {
        ASet.fd_array[I] = (*AList)[I];
    }
    ASet.fd_count = static_cast<decltype(ASet.fd_count)>(Count);
    return &ASet;
}

void RefillList(TIdSocketHandles* AList, const TFdSet* ASet) {
    if (AList == nullptr) {
        return;
    }
    AList->resize(ASet->fd_count);
    for (size_t I = 0; I < AList->size(); ++I) {
        (*AList)[I] = ASet->fd_array[I];
    }
}
} // namespace

TIdStackWindows::TIdStackWindows() {
    if (!IdWinSock2::StartSockets()) {
        throw EIdStackInitializationFailed();
    }
}

std::unique_ptr<TIdStack> TIdStackWindows::Create() {
    return std::make_unique<TIdStackWindows>();
}

void TIdStackWindows::FillLocalAddresses() {
    // Either entry may come first: the list exists from the first use of either.
    if (!FAddressList) {
        FAddressList = std::make_unique<std::vector<std::string>>();
    }
    FAddressList->clear();
    const std::string Name = ApiGetHostName();
    const THostEnt* Host = WS::gethostbyname(Name.c_str());
    if (Host == nullptr) {
        CheckResult(Id_SOCKET_ERROR);
        return;
    }
    for (int I = 0; Host->h_addr_list[I] != nullptr; ++I) {
        FAddressList->push_back(InAddrToText(InAddrFromHostEnt(*Host, I)));
    }
}

std::string TIdStackWindows::FirstLocalAddress() {
    const auto& List = LocalAddressList();
    // An empty list has no first address: the list-index error, with the text every indexed
    // list of the program gives for index 0.
    if (List.empty()) {
        throw Exception("List index out of bounds (0)");
    }
    return List.front();
}

const std::vector<std::string>& TIdStackWindows::LocalAddressList() {
    FillLocalAddresses();
    return *FAddressList;
}

TIdStackSocketHandle TIdStackWindows::ApiAccept(TIdStackSocketHandle ASocket, std::string& AIP,
                                                int& APort) {
    TSockAddrIn Addr{};
    int Length = AddressLength;
    const TIdStackSocketHandle Result = WS::accept(ASocket, AsSockAddr(Addr), &Length);
    AIP = InAddrToText(Addr.sin_addr);
    APort = WS::ntohs(Addr.sin_port);
    return Result;
}

TSockAddrIn TIdStackWindows::MakeSockAddr(uint16_t AFamily, const std::string& AIP, int APort,
                                          bool AEmptyIsAny) {
    TSockAddrIn Addr{};
    Addr.sin_family = AFamily;
    if (!(AEmptyIsAny && AIP.empty())) {
        Addr.sin_addr = TextToInAddr(AIP);
    }
    Addr.sin_port = WS::htons(static_cast<uint16_t>(APort));
    return Addr;
}

int TIdStackWindows::ApiBind(TIdStackSocketHandle ASocket, uint16_t AFamily, const std::string& AIP,
                             int APort) {
    const TSockAddrIn Addr = MakeSockAddr(AFamily, AIP, APort, true);
    return WS::bind(ASocket, AsSockAddr(Addr), AddressLength);
}

int TIdStackWindows::ApiCloseSocket(TIdStackSocketHandle ASocket) {
    return WS::closesocket(ASocket);
}

int TIdStackWindows::ApiConnect(TIdStackSocketHandle ASocket, uint16_t AFamily,
                                const std::string& AIP, int APort) {
    const TSockAddrIn Addr = MakeSockAddr(AFamily, AIP, APort, false);
    return WS::connect(ASocket, AsSockAddr(Addr), AddressLength);
}

std::string TIdStackWindows::ApiGetHostByName(const std::string& AHostName) {
    return InAddrToText(ApiGetHostAddress(AHostName));
}

TIdInAddr TIdStackWindows::ApiGetHostAddress(const std::string& AHostName) {
    const THostEnt* Host = WS::gethostbyname(AHostName.c_str());
    // An answer without addresses cannot be pinged: report it like an unknown name.
    if (Host == nullptr || Host->h_addr_list == nullptr || Host->h_addr_list[0] == nullptr) {
        if (Host != nullptr) {
            WS::WSASetLastError(Id_WSAHOST_NOT_FOUND);
        }
        CheckResult(Id_SOCKET_ERROR);
    }
    return InAddrFromHostEnt(*Host, 0);
}

std::string TIdStackWindows::ApiGetHostName() {
    char Buffer[250] = {};
    WS::gethostname(Buffer, sizeof Buffer);
    Buffer[sizeof Buffer - 1] = '\0';
    return Buffer;
}

std::string TIdStackWindows::ApiGetHostByAddr(const std::string& AAddress) {
    const TULong Address = WS::inet_addr(AAddress.c_str());
    const THostEnt* Host =
        WS::gethostbyaddr(reinterpret_cast<const char*>(&Address), 4, Id_PF_INET);
    if (Host == nullptr) {
        CheckResult(Id_SOCKET_ERROR);
    }
    return Host->h_name;
}

int TIdStackWindows::ApiGetServByName(const std::string& AServiceName) {
    const TServEnt* Service = WS::getservbyname(AServiceName.c_str(), nullptr);
    if (Service != nullptr) {
        return WS::ntohs(static_cast<uint16_t>(Service->s_port));
    }
    int32_t Port;
    if (!TryStrToInt(AServiceName, Port)) {
        throw EIdInvalidServiceName(
            FormatText(IdResourceStrings::RSInvalidServiceName, AServiceName));
    }
    return Port;
}

std::vector<std::string> TIdStackWindows::ApiGetServByPort(int APort) {
    std::vector<std::string> Result;
    const TServEnt* Service = WS::getservbyport(WS::htons(static_cast<uint16_t>(APort)), nullptr);
    if (Service != nullptr) {
        Result.emplace_back(Service->s_name);
        for (char** Alias = Service->s_aliases; Alias && *Alias; ++Alias) {
            Result.emplace_back(*Alias);
        }
    }
    return Result;
}

uint16_t TIdStackWindows::ApiHtons(uint16_t AHostShort) {
    return WS::htons(AHostShort);
}
int TIdStackWindows::ApiListen(TIdStackSocketHandle ASocket, int ABacklog) {
    return WS::listen(ASocket, ABacklog);
}
uint16_t TIdStackWindows::ApiNtohs(uint16_t ANetShort) {
    return WS::ntohs(ANetShort);
}
uint32_t TIdStackWindows::ApiHtonl(uint32_t AHostLong) {
    return static_cast<uint32_t>(WS::htonl(AHostLong));
}
uint32_t TIdStackWindows::ApiNtohl(uint32_t ANetLong) {
    return static_cast<uint32_t>(WS::ntohl(ANetLong));
}

int TIdStackWindows::ApiRecv(TIdStackSocketHandle ASocket, void* ABuffer, int ALength, int AFlags) {
    return WS::recv(ASocket, static_cast<char*>(ABuffer), ALength, AFlags);
}

int TIdStackWindows::ApiRecvFrom(TIdStackSocketHandle ASocket, void* ABuffer, int ALength,
                                 int AFlags, std::string& AIP, int& APort) {
    TSockAddrIn Addr{};
    int Length = AddressLength;
    const int Result = WS::recvfrom(ASocket, static_cast<char*>(ABuffer), ALength, AFlags,
                                    AsSockAddr(Addr), &Length);
    AIP = InAddrToText(Addr.sin_addr);
    APort = WS::ntohs(Addr.sin_port);
    return Result;
}

int TIdStackWindows::ApiSelect(TIdSocketHandles* ARead, TIdSocketHandles* AWrite,
                               TIdSocketHandles* AErrors, int ATimeout) {
    TFdSet Sets[3];
    TFdSet* const Read = FillSet(Sets[0], ARead);
    TFdSet* const Write = FillSet(Sets[1], AWrite);
    TFdSet* const Errors = FillSet(Sets[2], AErrors);
    TTimeVal Time{};
    const TTimeVal* TimePtr = nullptr;
    if (ATimeout != Id_NoTimeLimit) {
        Time.tv_sec = ATimeout / 1000;
        Time.tv_usec = (ATimeout % 1000) * 1000;
        TimePtr = &Time;
    }
    const int Result = WS::select(0, Read, Write, Errors, TimePtr);
    RefillList(ARead, Read);
    RefillList(AWrite, Write);
    RefillList(AErrors, Errors);
    return Result;
}

int TIdStackWindows::ApiSend(TIdStackSocketHandle ASocket, const void* ABuffer, int ALength,
                             int AFlags) {
    return WS::send(ASocket, static_cast<const char*>(ABuffer), ALength, AFlags);
}

int TIdStackWindows::ApiSendTo(TIdStackSocketHandle ASocket, const void* ABuffer, int ALength,
                               int AFlags, const std::string& AIP, int APort) {
    return ApiSendToAddress(ASocket, ABuffer, ALength, AFlags, TextToInAddr(AIP), APort);
}

int TIdStackWindows::ApiSendToAddress(TIdStackSocketHandle ASocket, const void* ABuffer,
                                      int ALength, int AFlags, const TIdInAddr& AAddress,
                                      int APort) {
    TSockAddrIn Addr{};
    Addr.sin_family = Id_PF_INET;
    Addr.sin_addr = AAddress;
    Addr.sin_port = WS::htons(static_cast<uint16_t>(APort));
    return WS::sendto(ASocket, static_cast<const char*>(ABuffer), ALength, AFlags, AsSockAddr(Addr),
                      AddressLength);
}

int TIdStackWindows::ApiSendToAddress6(TIdStackSocketHandle ASocket, const void* ABuffer,
                                       int ALength, int AFlags, const TIp6Address& AAddress,
                                       int APort) {
    WS::TSockAddrIn6 Addr{};
    Addr.sin6_family = Id_PF_INET6;
    Addr.sin6_port = WS::htons(static_cast<uint16_t>(APort));
    std::memcpy(Addr.sin6_addr, AAddress.Bytes, sizeof Addr.sin6_addr);
    if (!AAddress.Zone.empty()) {
        Addr.sin6_scope_id = IdPlatform::ZoneIndex(AAddress.Zone);
        if (Addr.sin6_scope_id == 0) {
            // No such link: what the system answers for a scope it does not have.
            WS::WSASetLastError(Id_WSAEINVAL);
            return Id_SOCKET_ERROR;
        }
    }
    return WS::sendto(ASocket, static_cast<const char*>(ABuffer), ALength, AFlags,
                      reinterpret_cast<const TSockAddr*>(&Addr), static_cast<int>(sizeof Addr));
}

int TIdStackWindows::ApiSetSockOpt(TIdStackSocketHandle ASocket, int ALevel, int AOptName,
                                   const void* AOptVal, int AOptLen) {
    return WS::setsockopt(ASocket, ALevel, AOptName, static_cast<const char*>(AOptVal), AOptLen);
}

TIdStackSocketHandle TIdStackWindows::ApiSocket(int AFamily, int AStruct, int AProtocol) {
    return WS::socket(AFamily, AStruct, AProtocol);
}

int TIdStackWindows::ApiShutdown(TIdStackSocketHandle ASocket, int AHow) {
    return WS::shutdown(ASocket, AHow);
}

std::string TIdStackWindows::ErrorText(int32_t AErrorCode) {
    if (AErrorCode == Id_WSAHOST_NOT_FOUND) {
        return FormatErrorText(AErrorCode, IdResourceStrings::RSHostNotFound);
    }
    return TIdStack::ErrorText(AErrorCode);
}

int32_t TIdStackWindows::ApiLastError() {
    return WS::WSAGetLastError();
}

void TIdStackWindows::ApiGetPeerName(TIdStackSocketHandle ASocket, int& AFamily, std::string& AIP,
                                     int& APort) {
    TSockAddrIn Addr{};
    int Length = AddressLength;
    CheckResult(WS::getpeername(ASocket, AsSockAddr(Addr), &Length));
    AFamily = Addr.sin_family;
    AIP = InAddrToText(Addr.sin_addr);
    APort = WS::ntohs(Addr.sin_port);
}

void TIdStackWindows::ApiGetSockName(TIdStackSocketHandle ASocket, int& AFamily, std::string& AIP,
                                     int& APort) {
    TSockAddrIn Addr{};
    int Length = AddressLength;
    CheckResult(WS::getsockname(ASocket, AsSockAddr(Addr), &Length));
    AFamily = Addr.sin_family;
    AIP = InAddrToText(Addr.sin_addr);
    APort = WS::ntohs(Addr.sin_port);
}

int TIdStackWindows::ApiGetSockOpt(TIdStackSocketHandle ASocket, int ALevel, int AOptName,
                                   void* AOptVal, int& AOptLen) {
    return WS::getsockopt(ASocket, ALevel, AOptName, static_cast<char*>(AOptVal), &AOptLen);
}

std::string TIdStackWindows::InAddrToText(const TIdInAddr& AAddress) {
    return DottedText(AAddress.Bytes);
}

void TIdStackWindows::ParseInAddr(const std::string& AText, TIdInAddr& AAddress) {
    TDottedPieces Pieces = SplitDotted(AText);
    // Anything after a fourth dot is dropped.
    const auto Dot = Pieces.Part[3].find('.');
    if (Dot != std::string::npos) {
        Pieces.Part[3].erase(Dot);
    }
    for (int I = 0; I < 4; ++I) {
        AAddress.Bytes[I] = static_cast<uint8_t>(StrToInt(Pieces.Part[I]) & 0xFF);
    }
}
