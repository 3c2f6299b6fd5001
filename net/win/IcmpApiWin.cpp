#include "net/win/IcmpApiWin.h"

#include "net/IcmpApiFrames.h"
#include "net/IcmpFrames.h"

#include <cstring>
#include <utility>

namespace IdWin {

// The API's codes that the framing spells out for every platform.
static_assert(IcmpApi::Id_IP_SUCCESS == IP_SUCCESS);
static_assert(IcmpApi::Id_IP_BUF_TOO_SMALL == IP_BUF_TOO_SMALL);
static_assert(IcmpApi::Id_IP_DEST_NET_UNREACHABLE == IP_DEST_NET_UNREACHABLE);
static_assert(IcmpApi::Id_IP_DEST_HOST_UNREACHABLE == IP_DEST_HOST_UNREACHABLE);
static_assert(IcmpApi::Id_IP_DEST_PROT_UNREACHABLE == IP_DEST_PROT_UNREACHABLE);
static_assert(IcmpApi::Id_IP_DEST_PORT_UNREACHABLE == IP_DEST_PORT_UNREACHABLE);
static_assert(IcmpApi::Id_IP_NO_RESOURCES == IP_NO_RESOURCES);
static_assert(IcmpApi::Id_IP_PACKET_TOO_BIG == IP_PACKET_TOO_BIG);
static_assert(IcmpApi::Id_IP_REQ_TIMED_OUT == IP_REQ_TIMED_OUT);
static_assert(IcmpApi::Id_IP_BAD_ROUTE == IP_BAD_ROUTE);
static_assert(IcmpApi::Id_IP_TTL_EXPIRED_TRANSIT == IP_TTL_EXPIRED_TRANSIT);
static_assert(IcmpApi::Id_IP_TTL_EXPIRED_REASSEM == IP_TTL_EXPIRED_REASSEM);
static_assert(IcmpApi::Id_IP_PARAM_PROBLEM == IP_PARAM_PROBLEM);
static_assert(IcmpApi::Id_IP_SOURCE_QUENCH == IP_SOURCE_QUENCH);
static_assert(IcmpApi::Id_IP_BAD_DESTINATION == IP_BAD_DESTINATION);
static_assert(IcmpApi::Id_IP_GENERAL_FAILURE == IP_GENERAL_FAILURE);
static_assert(IcmpApi::Id_ERROR_ACCESS_DENIED == ERROR_ACCESS_DENIED);
static_assert(IcmpApi::Id_ERROR_NOT_ENOUGH_MEMORY == ERROR_NOT_ENOUGH_MEMORY);

namespace {

using IcmpFrames::IcmpHeaderBytes;
using TIcmpCreateFile = HANDLE(WINAPI*)();

} // namespace

TStandIn::~TStandIn() {
    if (Icmp != INVALID_HANDLE_VALUE) {
        CloseIcmp(Icmp);
    }
    if (Module != nullptr) {
        IdPlatform::SystemLibraryLoader().Free(Module);
    }
}

std::unique_ptr<TStandIn> OpenIcmpApi() {
    const auto& Loader = IdPlatform::SystemLibraryLoader();
    auto Result = std::make_unique<TStandIn>();
    Result->Module = Loader.Load("iphlpapi.dll");
    if (Result->Module == nullptr) {
        return nullptr;
    }
    const auto Create =
        reinterpret_cast<TIcmpCreateFile>(Loader.FindEntry(Result->Module, "IcmpCreateFile"));
    Result->CloseIcmp =
        reinterpret_cast<TIcmpCloseHandle>(Loader.FindEntry(Result->Module, "IcmpCloseHandle"));
    Result->SendEcho =
        reinterpret_cast<TIcmpSendEcho2>(Loader.FindEntry(Result->Module, "IcmpSendEcho2"));
    if (Create == nullptr || Result->CloseIcmp == nullptr || Result->SendEcho == nullptr) {
        return nullptr;
    }
    Result->Icmp = Create();
    if (Result->Icmp == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    return Result;
}

void Exchange(TStandIn& AStandIn, DWORD AMilliseconds) {
    if (AStandIn.Request.size() < IcmpHeaderBytes) {
        return;
    }
    const std::vector<uint8_t> Request = std::move(AStandIn.Request);
    AStandIn.Request.clear();
    const size_t DataBytes = Request.size() - IcmpHeaderBytes;
    // Room for one reply, its data, an ICMP error's worth and the status block.
    std::vector<uint8_t> Reply(sizeof(ICMP_ECHO_REPLY) + DataBytes + 8 + 64, 0);
    IP_OPTION_INFORMATION Options{};
    Options.Ttl = AStandIn.Ttl;
    const DWORD Count = AStandIn.SendEcho(
        AStandIn.Icmp, nullptr, nullptr, nullptr, AStandIn.Target.sin_addr.s_addr,
        const_cast<uint8_t*>(Request.data() + IcmpHeaderBytes), static_cast<WORD>(DataBytes),
        &Options, Reply.data(), static_cast<DWORD>(Reply.size()), AMilliseconds);
    IcmpApi::TEchoResult Result;
    if (Count == 0) {
        Result.Status = ::GetLastError();
    } else {
        ICMP_ECHO_REPLY Echo;
        std::memcpy(&Echo, Reply.data(), sizeof Echo);
        Result.Status = Echo.Status;
        std::memcpy(Result.From, &Echo.Address, 4);
        Result.Ttl = Echo.Options.Ttl;
        const auto* Data = static_cast<const uint8_t*>(Echo.Data);
        // The data lies inside the reply buffer; anything else is not trusted.
        if (Data >= Reply.data() && Data + Echo.DataSize <= Reply.data() + Reply.size()) {
            Result.Data = {Data, Echo.DataSize};
        }
    }
    uint8_t Target[4];
    std::memcpy(Target, &AStandIn.Target.sin_addr, 4);
    IcmpApi::TFramed Framed = IcmpApi::FrameEchoResult(Result, Request, Target, AStandIn.Ttl);
    if (Framed.SocketError != 0) {
        AStandIn.PendingError = Framed.SocketError;
        return;
    }
    AStandIn.Datagram = std::move(Framed.Datagram);
    AStandIn.From = sockaddr_in{};
    AStandIn.From.sin_family = AF_INET;
    std::memcpy(&AStandIn.From.sin_addr, Result.From, 4);
}

} // namespace IdWin
