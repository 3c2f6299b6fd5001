#pragma once
// A socket library of the test's own making behind the binding's loader seam. It counts
// loads, frees, start-ups and look-ups, exports only what a test gives it, and can be made
// to fail its load or its start-up. Every answer is scripted, so nothing depends on the
// machine's resolver or network.
#include "net/IdStack.h"
#include "net/IdWinSock2.h"

#include <cstring>
#include <map>
#include <string>

struct TFakeLibrary {
    int Loads = 0;
    int Frees = 0;
    int Startups = 0;
    int Cleanups = 0;
    bool FailLoad = false;
    int StartupResult = 0;
    uint32_t LastError = 0; // the loader's, for a failed load or look-up
    int SocketError = 0;    // what WSAGetLastError answers
    std::map<std::string, int> Lookups;
    std::map<std::string, IdWinSock2::TProc> Exports;

    TFakeLibrary();

    static inline TFakeLibrary* Current = nullptr;
    static const IdPlatform::TLibraryLoader& Loader();
};

template <typename F> IdWinSock2::TProc FakeExport(F AProc) {
    return reinterpret_cast<IdWinSock2::TProc>(AProc);
}

namespace FakeLibraryCalls {
inline int IDWSAPI Startup(uint16_t, IdWinSock2::TWSAData*) {
    ++TFakeLibrary::Current->Startups;
    return TFakeLibrary::Current->StartupResult;
}
inline int IDWSAPI Cleanup() {
    ++TFakeLibrary::Current->Cleanups;
    return 0;
}
inline int IDWSAPI LastSocketError() {
    return TFakeLibrary::Current->SocketError;
}
inline void IDWSAPI SetLastSocketError(int ACode) {
    TFakeLibrary::Current->SocketError = ACode;
}
inline IdPlatform::TModule Load(const char* AName) {
    auto& L = *TFakeLibrary::Current;
    ++L.Loads;
    if (L.FailLoad || std::strcmp(AName, "WS2_32.DLL") != 0) {
        L.LastError = 126;
        return nullptr;
    }
    return &L;
}
inline IdPlatform::TEntry Find(IdPlatform::TModule, const char* AName) {
    auto& L = *TFakeLibrary::Current;
    ++L.Lookups[AName];
    const auto It = L.Exports.find(AName);
    if (It == L.Exports.end()) {
        L.LastError = 127;
        return nullptr;
    }
    return It->second;
}
inline void Free(IdPlatform::TModule) {
    ++TFakeLibrary::Current->Frees;
}
inline uint32_t LoaderError() {
    return TFakeLibrary::Current->LastError;
}
} // namespace FakeLibraryCalls

inline TFakeLibrary::TFakeLibrary()
    : Exports{{"WSAStartup", FakeExport(&FakeLibraryCalls::Startup)},
              {"WSACleanup", FakeExport(&FakeLibraryCalls::Cleanup)},
              {"WSAGetLastError", FakeExport(&FakeLibraryCalls::LastSocketError)},
              {"WSASetLastError", FakeExport(&FakeLibraryCalls::SetLastSocketError)}} {}

inline const IdPlatform::TLibraryLoader& TFakeLibrary::Loader() {
    static const IdPlatform::TLibraryLoader L{&FakeLibraryCalls::Load, &FakeLibraryCalls::Find,
                                              &FakeLibraryCalls::Free,
                                              &FakeLibraryCalls::LoaderError};
    return L;
}

// The fake in the system library's place for one test; afterwards the binding is as the
// test found it: the system's library loaded again, and started again, if it was.
class TFakeLibraryScope {
  public:
    explicit TFakeLibraryScope(TFakeLibrary& ALibrary)
        : FWasLoaded(IdWinSock2::IsLoaded()), FWasStarted(IdWinSock2::SocketsStarted()) {
        IdWinSock2::UnloadSockets();
        TFakeLibrary::Current = &ALibrary;
        IdWinSock2::SetLibraryLoader(&TFakeLibrary::Loader());
    }
    TFakeLibraryScope(const TFakeLibraryScope&) = delete;
    TFakeLibraryScope& operator=(const TFakeLibraryScope&) = delete;
    ~TFakeLibraryScope() {
        IdWinSock2::UnloadSockets();
        IdWinSock2::SetLibraryLoader(nullptr);
        TFakeLibrary::Current = nullptr;
        if (FWasStarted) {
            IdWinSock2::StartSockets();
        } else if (FWasLoaded) {
            IdWinSock2::TWSAData Data;
            IdWinSock2::WSAStartup(0x0202, &Data);
        }
    }

  private:
    bool FWasLoaded;
    bool FWasStarted;
};
