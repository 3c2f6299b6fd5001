#pragma once
// Shared pieces of the Windows tests: a spy around the real system loader, the system's own
// message text as an independent oracle, and a fixture that gives every test a binding as
// a fresh process has it.
#include "net/IdPlatform.h"
#include "net/IdStack.h"
#include "net/IdWinSock2.h"

#include <gtest/gtest.h>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <map>
#include <optional>
#include <string>

namespace WinTest {

// Wraps the real Windows loader: counts loads and look-ups, can swap the library name for
// one that does not exist, and can hide one export by asking the real library for a name
// it lacks, so every failure code still comes from the system.
struct TLoaderSpy {
    static inline int Loads = 0;
    static inline int Frees = 0;
    static inline std::map<std::string, int> Lookups;
    static inline const char* LoadNameOverride = nullptr;
    static inline std::string Hidden;

    static void Reset() {
        Loads = 0;
        Frees = 0;
        Lookups.clear();
        LoadNameOverride = nullptr;
        Hidden.clear();
    }
    static const IdPlatform::TLibraryLoader& System() { return IdPlatform::SystemLibraryLoader(); }
    static IdPlatform::TModule Load(const char* AName) {
        ++Loads;
        return System().Load(LoadNameOverride ? LoadNameOverride : AName);
    }
    static IdPlatform::TEntry FindEntry(IdPlatform::TModule AModule, const char* AName) {
        ++Lookups[AName];
        return System().FindEntry(AModule, Hidden == AName ? "VexloNoSuchExport" : AName);
    }
    static void Free(IdPlatform::TModule AModule) {
        ++Frees;
        System().Free(AModule);
    }
    static uint32_t LastError() { return System().LastError(); }

    static const IdPlatform::TLibraryLoader& Loader() {
        static const IdPlatform::TLibraryLoader L{&Load, &FindEntry, &Free, &LastError};
        return L;
    }
};

// What the system itself says for a code, trimmed the way the stub error trims it.
inline std::string RawSystemText(DWORD ACode) {
    char Buffer[1024];
    const DWORD Length =
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ACode,
                         0, Buffer, sizeof Buffer, nullptr);
    return std::string(Buffer, Length);
}
inline std::string TrimmedSystemText(DWORD ACode) {
    std::string Text = RawSystemText(ACode);
    while (!Text.empty() && (static_cast<unsigned char>(Text.back()) <= 32 || Text.back() == '.')) {
        Text.pop_back();
    }
    return Text;
}

inline int RecordOf(const std::string& AName) {
    for (int I = 1; I <= IdWinSock2::EntryCount; ++I) {
        if (AName == IdWinSock2::EntryName(I)) {
            return I;
        }
    }
    ADD_FAILURE() << "no entry named " << AName;
    return 1;
}

template <typename E, typename F> std::optional<E> CaughtBy(F AFn) {
    try {
        AFn();
    } catch (const E& Ex) {
        return Ex;
    }
    return std::nullopt;
}

// The binding and its started state are process-wide; each test starts from the state a fresh
// process has and leaves the library released, so tests also pass in one process.
class BindingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Wine cannot reload WS2_32 once freed: sockets made after the reload fail with
        // 10038. One reference held for the whole run keeps the library mapped, while the
        // binding still frees its own reference and resets its entries each time.
        static const HMODULE Pinned = ::LoadLibraryA("WS2_32.DLL");
        ASSERT_NE(Pinned, nullptr);
        TLoaderSpy::Reset();
        IdWinSock2::SetLibraryLoader(&TLoaderSpy::Loader());
    }
    void TearDown() override {
        IdWinSock2::FinalizeSockets();
        IdWinSock2::SetLibraryLoader(nullptr);
    }
};

} // namespace WinTest
