// Windows side of the platform seam: the socket library is the real WS2_32.DLL, loaded and
// looked up through the system loader, its socket calls handed out through the adapters
// that let the ICMP API stand in for a refused raw socket; messages, ticks and the process
// id come from the system itself.
#include "net/IdPlatform.h"
#include "net/win/IdWinSock2Win.h"
#include "system/System.h"

#include "system/win/WindowsApi.h"

namespace {

// The loader's error is taken the moment a call fails: anything run in between (the
// allocation of an exception's headline, for one) may overwrite the thread's last error.
thread_local uint32_t LastLoaderError = 0;

IdPlatform::TModule WinLoad(const char* AName) {
    const HMODULE Module = ::LoadLibraryA(AName);
    if (Module == nullptr) {
        LastLoaderError = ::GetLastError();
    }
    return Module;
}

IdPlatform::TEntry WinFindEntry(IdPlatform::TModule AModule, const char* AName) {
    const FARPROC Proc = ::GetProcAddress(static_cast<HMODULE>(AModule), AName);
    if (Proc == nullptr) {
        LastLoaderError = ::GetLastError();
        return nullptr;
    }
    // The binding casts back to each entry's own signature before calling.
    return IdWin::SocketEntry(AName, reinterpret_cast<IdPlatform::TEntry>(Proc));
}

void WinFree(IdPlatform::TModule AModule) {
    ::FreeLibrary(static_cast<HMODULE>(AModule));
}

uint32_t WinLastError() {
    return LastLoaderError;
}

const IdPlatform::TLibraryLoader WinLoader{&WinLoad, &WinFindEntry, &WinFree, &WinLastError};

} // namespace

namespace IdPlatform {

const TLibraryLoader& SystemLibraryLoader() {
    return WinLoader;
}

std::string SystemErrorMessage(uint32_t ACode) {
    return System::ErrorMessage(ACode);
}

uint32_t TickCount() {
    return ::GetTickCount();
}

uint32_t CurrentProcessId() {
    return ::GetCurrentProcessId();
}

uint32_t ZoneIndex(const std::string& AZone) {
    // Windows writes its zones as interface numbers ("fe80::1%12").
    uint64_t Index = 0;
    for (const char C : AZone) {
        Index = Index * 10 + static_cast<uint64_t>(C - '0');
        if (C < '0' || C > '9' || Index > 0xFFFFFFFFU) {
            return 0;
        }
    }
    return static_cast<uint32_t>(Index);
}

} // namespace IdPlatform
