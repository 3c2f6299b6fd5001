#include "net/win/IcmpApiWin.h"

#include "net/IcmpApiFrames.h"
#include "net/IcmpFrames.h"

#include <algorithm>
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
static_assert(IcmpApi::Id_IP_DEST_NO_ROUTE == IP_DEST_NO_ROUTE);
static_assert(IcmpApi::Id_IP_DEST_ADDR_UNREACHABLE == IP_DEST_ADDR_UNREACHABLE);
static_assert(IcmpApi::Id_IP_DEST_PROHIBITED == IP_DEST_PROHIBITED);
static_assert(IcmpApi::Id_IP_HOP_LIMIT_EXCEEDED == IP_HOP_LIMIT_EXCEEDED);
static_assert(IcmpApi::Id_IP_REASSEMBLY_TIME_EXCEEDED == IP_REASSEMBLY_TIME_EXCEEDED);
static_assert(IcmpApi::Id_IP_PARAMETER_PROBLEM == IP_PARAMETER_PROBLEM);
static_assert(IcmpApi::Id_IP_DEST_UNREACHABLE == IP_DEST_UNREACHABLE);
static_assert(IcmpApi::Id_IP_TIME_EXCEEDED == IP_TIME_EXCEEDED);
static_assert(IcmpApi::Id_IP_BAD_HEADER == IP_BAD_HEADER);
static_assert(IcmpApi::Id_IP_UNRECOGNIZED_NEXT_HEADER == IP_UNRECOGNIZED_NEXT_HEADER);
static_assert(IcmpApi::Id_IP_DEST_SCOPE_MISMATCH == IP_DEST_SCOPE_MISMATCH);
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

std::unique_ptr<TStandIn> OpenIcmp6Api() {
    const auto& Loader = IdPlatform::SystemLibraryLoader();
    auto Result = std::make_unique<TStandIn>();
    Result->Ip6 = true;
    Result->Module = Loader.Load("iphlpapi.dll");
    if (Result->Module == nullptr) {
        return nullptr;
    }
    const auto Create =
        reinterpret_cast<TIcmpCreateFile>(Loader.FindEntry(Result->Module, "Icmp6CreateFile"));
    Result->CloseIcmp =
        reinterpret_cast<TIcmpCloseHandle>(Loader.FindEntry(Result->Module, "IcmpCloseHandle"));
    Result->SendEcho6 =
        reinterpret_cast<TIcmp6SendEcho2>(Loader.FindEntry(Result->Module, "Icmp6SendEcho2"));
    Result->ParseReplies6 =
        reinterpret_cast<TIcmp6ParseReplies>(Loader.FindEntry(Result->Module, "Icmp6ParseReplies"));
    if (Create == nullptr || Result->CloseIcmp == nullptr || Result->SendEcho6 == nullptr) {
        return nullptr;
    }
    Result->Icmp = Create();
    if (Result->Icmp == INVALID_HANDLE_VALUE) {
        Result->Unavailable = std::max<DWORD>(::GetLastError(), 1);
    }
    return Result;
}

namespace {

void Exchange6(TStandIn& AStandIn, const std::vector<uint8_t>& ARequest, DWORD AMilliseconds) {
    const size_t DataBytes = ARequest.size() - IcmpHeaderBytes;
    // What Icmp6SendEcho2 asks for one reply: the record, the data and an ICMP error's worth.
    // MinGW's headers have no ICMPV6_ECHO_REPLY (and an unpacked IPV6_ADDRESS_EX), so the
    // record is read by its offsets (IcmpApiFrames.h).
    std::vector<uint8_t> Reply(IcmpApi::Echo6ReplyBytes + DataBytes + 8, 0);
    sockaddr_in6 Source{};
    Source.sin6_family = AF_INET6; // unspecified: the system's choice of our address
    IP_OPTION_INFORMATION Options{};
    Options.Ttl = AStandIn.Ttl;
    DWORD Count = AStandIn.SendEcho6(
        AStandIn.Icmp, nullptr, nullptr, nullptr, &Source, &AStandIn.Target6,
        const_cast<uint8_t*>(ARequest.data() + IcmpHeaderBytes), static_cast<WORD>(DataBytes),
        &Options, Reply.data(), static_cast<DWORD>(Reply.size()), AMilliseconds);
    if (Count != 0 && AStandIn.ParseReplies6 != nullptr) {
        Count = AStandIn.ParseReplies6(Reply.data(), static_cast<DWORD>(Reply.size()));
    }
    IcmpApi::TEchoResult Result;
    if (Count == 0 || !IcmpApi::ReadEcho6Reply(Reply, DataBytes, Result)) {
        Result = IcmpApi::TEchoResult{};
        Result.Status = ::GetLastError();
    }
    uint8_t Target[16];
    std::memcpy(Target, &AStandIn.Target6.sin6_addr, 16);
    IcmpApi::TFramed Framed = IcmpApi::FrameEcho6Result(Result, ARequest, Target, AStandIn.Ttl);
    if (Framed.SocketError != 0) {
        AStandIn.PendingError = Framed.SocketError;
        return;
    }
    AStandIn.Datagram = std::move(Framed.Datagram);
    AStandIn.From6 = sockaddr_in6{};
    AStandIn.From6.sin6_family = AF_INET6;
    std::memcpy(&AStandIn.From6.sin6_addr, Result.From, 16);
    AStandIn.From6.sin6_scope_id = Result.ScopeId;
}

} // namespace

void Exchange(TStandIn& AStandIn, DWORD AMilliseconds) {
    if (AStandIn.Request.size() < IcmpHeaderBytes) {
        return;
    }
    if (AStandIn.Ip6) {
        const std::vector<uint8_t> Request = std::move(AStandIn.Request);
        AStandIn.Request.clear();
        Exchange6(AStandIn, Request, AMilliseconds);
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
