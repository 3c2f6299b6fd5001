#include "net/IdWinSock2.h"

#include "net/IdException.h"
#include "net/IdResourceStrings.h"

#include <atomic>

namespace IdWinSock2 {
namespace {

std::atomic<IdPlatform::TModule> SocketsModule{nullptr};
bool Started = false;
const IdPlatform::TLibraryLoader* Loader = nullptr;
using TWSAStartupProc = int(IDWSAPI*)(uint16_t, TWSAData*);
TWSAStartupProc WSAStartupProc = nullptr;

const IdPlatform::TLibraryLoader& CurrentLoader() {
    return Loader ? *Loader : IdPlatform::SystemLibraryLoader();
}

struct TEntryRecord {
    const char* Name;
    TProc Stub;
    void (*Store)(TProc);
    TProc (*Current)();
};

template <auto& Var> void StoreVar(TProc AProc) {
    Var = reinterpret_cast<std::remove_reference_t<decltype(Var)>>(AProc);
}
template <auto& Var> TProc CurrentVar() {
    return reinterpret_cast<TProc>(Var);
}

template <int N, auto& Var> constexpr TEntryRecord Typed(const char* AName) {
    using TVar = std::remove_reference_t<decltype(Var)>;
    return {AName, reinterpret_cast<TProc>(&TStub<N, TVar>::Call), &StoreVar<Var>,
            &CurrentVar<Var>};
}

// Entries that the program never calls keep an untyped procedure variable: they can be
// bound (and are unbound again at unload) but carry no signature to call through.
TProc UntypedVars[EntryCount + 1] = {};
template <int N> void UntypedStub() {
    BindEntry(N);
}
template <int N> void StoreUntyped(TProc AProc) {
    UntypedVars[N] = AProc;
}
template <int N> TProc CurrentUntyped() {
    return UntypedVars[N];
}
template <int N> constexpr TEntryRecord Untyped(const char* AName) {
    return {AName, &UntypedStub<N>, &StoreUntyped<N>, &CurrentUntyped<N>};
}

const TEntryRecord EntryTable[EntryCount] = {
    Typed<1, WSACleanup>("WSACleanup"),
    Typed<2, accept>("accept"),
    Typed<3, bind>("bind"),
    Typed<4, closesocket>("closesocket"),
    Typed<5, connect>("connect"),
    Typed<6, ioctlsocket>("ioctlsocket"),
    Typed<7, getpeername>("getpeername"),
    Typed<8, getsockname>("getsockname"),
    Typed<9, getsockopt>("getsockopt"),
    Typed<10, htonl>("htonl"),
    Typed<11, htons>("htons"),
    Typed<12, inet_addr>("inet_addr"),
    Typed<13, inet_ntoa>("inet_ntoa"),
    Typed<14, listen>("listen"),
    Typed<15, ntohl>("ntohl"),
    Typed<16, ntohs>("ntohs"),
    Typed<17, recv>("recv"),
    Typed<18, recvfrom>("recvfrom"),
    Typed<19, select>("select"),
    Typed<20, send>("send"),
    Typed<21, sendto>("sendto"),
    Typed<22, setsockopt>("setsockopt"),
    Typed<23, shutdown>("shutdown"),
    Typed<24, socket>("socket"),
    Typed<25, gethostbyaddr>("gethostbyaddr"),
    Typed<26, gethostbyname>("gethostbyname"),
    Typed<27, gethostname>("gethostname"),
    Typed<28, getservbyport>("getservbyport"),
    Typed<29, getservbyname>("getservbyname"),
    Typed<30, getprotobynumber>("getprotobynumber"),
    Typed<31, getprotobyname>("getprotobyname"),
    Typed<32, WSASetLastError>("WSASetLastError"),
    Typed<33, WSAGetLastError>("WSAGetLastError"),
    Untyped<34>("WSAIsBlocking"),
    Untyped<35>("WSAUnhookBlockingHook"),
    Untyped<36>("WSASetBlockingHook"),
    Untyped<37>("WSACancelBlockingCall"),
    Untyped<38>("WSAAsyncGetServByName"),
    Untyped<39>("WSAAsyncGetServByPort"),
    Untyped<40>("WSAAsyncGetProtoByName"),
    Untyped<41>("WSAAsyncGetProtoByNumber"),
    Untyped<42>("WSAAsyncGetHostByName"),
    Untyped<43>("WSAAsyncGetHostByAddr"),
    Untyped<44>("WSACancelAsyncRequest"),
    Untyped<45>("WSAAsyncSelect"),
    Typed<46, WSAFDIsSet>("__WSAFDIsSet"),
    Untyped<47>("WSAAccept"),
    Untyped<48>("WSACloseEvent"),
    Untyped<49>("WSAConnect"),
    Untyped<50>("WSACreateEvent"),
    Untyped<51>("WSADuplicateSocketA"),
    Untyped<52>("WSADuplicateSocketW"),
    Untyped<53>("WSAEnumNetworkEvents"),
    Untyped<54>("WSAEnumProtocolsA"),
    Untyped<55>("WSAEnumProtocolsW"),
    Untyped<56>("WSAEventSelect"),
    Untyped<57>("WSAGetOverlappedResult"),
    Untyped<58>("WSAGetQosByName"),
    Untyped<59>("WSAHtonl"),
    Untyped<60>("WSAHtons"),
    Untyped<61>("WSAIoctl"),
    Untyped<62>("WSAJoinLeaf"),
    Untyped<63>("WSANtohl"),
    Untyped<64>("WSANtohs"),
    Untyped<65>("WSARecv"),
    Untyped<66>("WSARecvDisconnect"),
    Untyped<67>("WSARecvFrom"),
    Untyped<68>("WSAResetEvent"),
    Untyped<69>("WSASend"),
    Untyped<70>("WSASendDisconnect"),
    Untyped<71>("WSASendTo"),
    Untyped<72>("WSASetEvent"),
    Untyped<73>("WSASocketA"),
    Untyped<74>("WSASocketW"),
    Untyped<75>("WSAWaitForMultipleEvents"),
    Untyped<76>("WSAAddressToStringA"),
    Untyped<77>("WSAAddressToStringW"),
    Untyped<78>("WSAStringToAddressA"),
    Untyped<79>("WSAStringToAddressW"),
    Untyped<80>("WSALookupServiceBeginA"),
    Untyped<81>("WSALookupServiceBeginW"),
    Untyped<82>("WSALookupServiceNextA"),
    Untyped<83>("WSALookupServiceNextW"),
    Untyped<84>("WSALookupServiceEnd"),
    Untyped<85>("WSAInstallServiceClassA"),
    Untyped<86>("WSAInstallServiceClassW"),
    Untyped<87>("WSARemoveServiceClass"),
    Untyped<88>("WSAGetServiceClassInfoA"),
    Untyped<89>("WSAGetServiceClassInfoW"),
    Untyped<90>("WSAEnumNameSpaceProvidersA"),
    Untyped<91>("WSAEnumNameSpaceProvidersW"),
    Untyped<92>("WSAGetServiceClassNameByClassIdA"),
    Untyped<93>("WSAGetServiceClassNameByClassIdW"),
    Untyped<94>("WSASetServiceA"),
    Untyped<95>("WSASetServiceW"),
    Untyped<96>("WSAProviderConfigChange"),
    Untyped<97>("WSADuplicateSocketA"),
    Untyped<98>("WSAEnumProtocolsA"),
    Untyped<99>("WSASocketA"),
    Untyped<100>("WSAAddressToStringA"),
    Untyped<101>("WSAStringToAddressA"),
    Untyped<102>("WSALookupServiceBeginA"),
    Untyped<103>("WSALookupServiceNextA"),
    Untyped<104>("WSAInstallServiceClassA"),
    Untyped<105>("WSAGetServiceClassInfoA"),
    Untyped<106>("WSAEnumNameSpaceProvidersA"),
    Untyped<107>("WSAGetServiceClassNameByClassIdA"),
    Untyped<108>("WSASetServiceA"),
    Untyped<109>("TransmitFile"),
    Untyped<110>("AcceptEx"),
    Untyped<111>("GetAcceptExSockaddrs"),
    Untyped<112>("WSARecvEx"),
};

// Program start-up: the untyped variables would otherwise start empty, not on their stubs.
[[maybe_unused]] const bool EntriesStartUnbound = (ResetEntries(), true);

const TEntryRecord& Record(int ARecord) {
    return EntryTable[ARecord - 1];
}

[[noreturn]] void RaiseCallError(int ARecord, uint32_t ACode) {
    throw EIdWS2StubError(FormatText(IdResourceStrings::RSWS2CallError, Record(ARecord).Name),
                          ACode);
}

} // namespace

TProc BindEntry(int ARecord) {
    const auto Module = SocketsModule.load();
    if (Module == nullptr) {
        RaiseCallError(ARecord, Id_WSANOTINITIALISED);
    }
    const auto& Entry = Record(ARecord);
    const auto& L = CurrentLoader();
    // A missing export must never be called through: raise with the system's reason.
    const TProc Proc = L.FindEntry(Module, Entry.Name);
    if (Proc == nullptr) {
        RaiseCallError(ARecord, L.LastError());
    }
    Entry.Store(Proc);
    return Proc;
}

const char* EntryName(int ARecord) {
    return Record(ARecord).Name;
}

bool EntryIsBound(int ARecord) {
    const auto& Entry = Record(ARecord);
    return Entry.Current() != Entry.Stub;
}

void ResetEntries() {
    SocketsModule.store(nullptr);
    WSAStartupProc = nullptr;
    for (const auto& Entry : EntryTable) {
        Entry.Store(Entry.Stub);
    }
}

bool IsLoaded() {
    return SocketsModule.load() != nullptr;
}

int WSAStartup(uint16_t AVersion, TWSAData* AData) {
    if (SocketsModule.load() != nullptr) {
        return 0;
    }
    const auto& L = CurrentLoader();
    const auto Module = L.Load(IdResourceStrings::RSWS2LibraryName);
    if (Module == nullptr) {
        throw EIdWS2StubError(
            FormatText(IdResourceStrings::RSWS2LoadError, IdResourceStrings::RSWS2LibraryName),
            L.LastError());
    }
    SocketsModule.store(Module);
    // A start-up that fails leaves the library unloaded: kept loaded, the next start-up
    // would answer 0 without the platform ever having started.
    const TProc Address = L.FindEntry(Module, "WSAStartup");
    if (Address == nullptr) {
        const uint32_t Reason = L.LastError();
        UnloadSockets();
        throw EIdWS2StubError(FormatText(IdResourceStrings::RSWS2CallError, "WSAStartup"), Reason);
    }
    WSAStartupProc = reinterpret_cast<TWSAStartupProc>(Address);
    const int Result = WSAStartupProc(AVersion, AData);
    if (Result != 0) {
        UnloadSockets();
    }
    return Result;
}

bool StartSockets() {
    if (!Started) {
        constexpr uint16_t Version22 = 0x0202;
        TWSAData Data;
        if (IdWinSock2::WSAStartup(Version22, &Data) != 0) {
            return false;
        }
        Started = true;
    }
    return true;
}

bool SocketsStarted() {
    return Started;
}

void FinalizeSockets() {
    if (Started && IsLoaded()) {
        try {
            IdWinSock2::WSACleanup();
        } catch (const Exception&) {
            // The library lacks its clean-up: nothing left to release but the library.
        }
    }
    UnloadSockets();
}

void UnloadSockets() {
    Started = false;
    const auto Old = SocketsModule.exchange(nullptr);
    if (Old != nullptr) {
        CurrentLoader().Free(Old);
        ResetEntries();
    }
}

namespace {
// Program end, after every component is gone: the platform's clean-up, then the library.
struct TSocketsFinalizer {
    ~TSocketsFinalizer() { FinalizeSockets(); }
} SocketsFinalizer;
} // namespace

void SetLibraryLoader(const IdPlatform::TLibraryLoader* ALoader) {
    Loader = ALoader;
}

} // namespace IdWinSock2
