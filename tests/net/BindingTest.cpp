// The binding's states, driven through a fake library so that look-ups, loads and
// failures can be counted and forced.
#include "IdException.h"
#include "IdStack.h"
#include "IdWinSock2.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

namespace {
using namespace IdWinSock2;

struct TFakeLibrary {
    int Loads = 0;
    int Frees = 0;
    int Startups = 0;
    bool FailLoad = false;
    uint32_t LastError = 0;
    std::map<std::string, int> Lookups;
    std::map<std::string, TProc> Exports;
};
TFakeLibrary* Fake = nullptr;

int IDWSAPI FakeStartup(uint16_t, TWSAData*) {
    ++Fake->Startups;
    return 0;
}
int IDWSAPI FakeSelect(int, TFdSet*, TFdSet*, TFdSet*, const TTimeVal*) {
    return 42;
}
int IDWSAPI FakeSendTo(TSocket, const char*, int ALen, int, const TSockAddr*, int) {
    return ALen;
}
int IDWSAPI FakeCleanup() {
    return 0;
}

IdPlatform::TModule FakeLoad(const char* AName) {
    ++Fake->Loads;
    if (Fake->FailLoad || std::strcmp(AName, "WS2_32.DLL") != 0) {
        Fake->LastError = 126;
        return nullptr;
    }
    return Fake;
}
IdPlatform::TEntry FakeFind(IdPlatform::TModule, const char* AName) {
    ++Fake->Lookups[AName];
    const auto It = Fake->Exports.find(AName);
    if (It == Fake->Exports.end()) {
        Fake->LastError = 127;
        return nullptr;
    }
    return It->second;
}
void FakeFree(IdPlatform::TModule) {
    ++Fake->Frees;
}
uint32_t FakeLastError() {
    return Fake->LastError;
}

const IdPlatform::TLibraryLoader FakeLoader{&FakeLoad, &FakeFind, &FakeFree, &FakeLastError};

template <typename F> TProc P(F AProc) {
    return reinterpret_cast<TProc>(AProc);
}

class Binding : public ::testing::Test {
  protected:
    void SetUp() override {
        WasLoaded = IsLoaded();
        UnloadSockets();
        Lib.Exports = {{"WSAStartup", P(&FakeStartup)},
                       {"select", P(&FakeSelect)},
                       {"sendto", P(&FakeSendTo)},
                       {"WSACleanup", P(&FakeCleanup)}};
        Fake = &Lib;
        SetLibraryLoader(&FakeLoader);
    }
    void TearDown() override {
        UnloadSockets();
        SetLibraryLoader(nullptr);
        Fake = nullptr;
        // Later tests in this process expect the system library where it was before.
        if (WasLoaded || SocketsStarted) {
            TWSAData Data;
            IdWinSock2::WSAStartup(0x0202, &Data);
        }
    }
    TFakeLibrary Lib;
    bool WasLoaded = false;
};

void ExpectCallError(const std::function<void()>& ACall, const std::string& AName, int32_t ACode) {
    try {
        ACall();
        ADD_FAILURE() << "no exception for " << AName;
    } catch (const EIdWS2StubError& E) {
        EXPECT_EQ(E.Headline(), "Error on call Winsock2 library function " + AName);
        EXPECT_EQ(E.SystemErrorCode(), ACode);
        EXPECT_EQ(E.Message(), E.Headline() + ": " + E.SystemErrorText());
    }
}

TEST_F(Binding, CallBeforeStartupRaisesNotInitialised) {
    ExpectCallError([] { IdWinSock2::select(0, nullptr, nullptr, nullptr, nullptr); }, "select",
                    10093);
    EXPECT_FALSE(EntryIsBound(19));
    EXPECT_EQ(Lib.Loads, 0);
}

TEST_F(Binding, FirstCallBindsOnceAndLaterCallsSkipTheLookup) {
    TWSAData Data;
    ASSERT_EQ(IdWinSock2::WSAStartup(0x0202, &Data), 0);
    EXPECT_FALSE(EntryIsBound(21));
    const char Buffer[4] = {};
    EXPECT_EQ(IdWinSock2::sendto(1, Buffer, 4, 0, nullptr, 16), 4);
    EXPECT_TRUE(EntryIsBound(21));
    EXPECT_EQ(IdWinSock2::sendto(1, Buffer, 3, 0, nullptr, 16), 3);
    EXPECT_EQ(Lib.Lookups["sendto"], 1);
    EXPECT_EQ(IdWinSock2::select(0, nullptr, nullptr, nullptr, nullptr), 42);
    EXPECT_EQ(Lib.Lookups["select"], 1);
}

TEST_F(Binding, SecondStartupReturnsZeroWithoutCallingThePlatform) {
    TWSAData Data;
    ASSERT_EQ(IdWinSock2::WSAStartup(0x0202, &Data), 0);
    ASSERT_EQ(IdWinSock2::WSAStartup(0x0101, &Data), 0);
    EXPECT_EQ(Lib.Startups, 1);
    EXPECT_EQ(Lib.Loads, 1);
}

TEST_F(Binding, UnloadFreesOnceAndPutsEveryEntryBackOnItsStub) {
    TWSAData Data;
    ASSERT_EQ(IdWinSock2::WSAStartup(0x0202, &Data), 0);
    IdWinSock2::select(0, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(EntryIsBound(19));
    UnloadSockets();
    UnloadSockets();
    EXPECT_EQ(Lib.Frees, 1);
    for (int Record = 1; Record <= EntryCount; ++Record) {
        EXPECT_FALSE(EntryIsBound(Record)) << EntryName(Record);
    }
    ExpectCallError([] { IdWinSock2::select(0, nullptr, nullptr, nullptr, nullptr); }, "select",
                    10093);
}

TEST_F(Binding, LoadFailureStaysUnboundAndTheNextStartupRetries) {
    Lib.FailLoad = true;
    TWSAData Data;
    try {
        IdWinSock2::WSAStartup(0x0202, &Data);
        FAIL() << "no exception";
    } catch (const EIdWS2StubError& E) {
        EXPECT_EQ(E.Headline(), "Error on loading Winsock2 library (WS2_32.DLL)");
        EXPECT_EQ(E.SystemErrorCode(), 126);
        EXPECT_EQ(E.Message(), E.Headline() + ": " + E.SystemErrorText());
    }
    EXPECT_FALSE(IsLoaded());
    Lib.FailLoad = false;
    EXPECT_EQ(IdWinSock2::WSAStartup(0x0202, &Data), 0);
    EXPECT_TRUE(IsLoaded());
    EXPECT_EQ(Lib.Loads, 2);
}

TEST_F(Binding, MissingExportRaisesInsteadOfCallingThrough) {
    TWSAData Data;
    ASSERT_EQ(IdWinSock2::WSAStartup(0x0202, &Data), 0);
    ExpectCallError([] { IdWinSock2::recv(1, nullptr, 0, 0); }, "recv", 127);
    EXPECT_FALSE(EntryIsBound(17));
    ExpectCallError([] { BindEntry(45); }, "WSAAsyncSelect", 127);
}

TEST(BindingTable, HoldsTheEntryNamesInOrder) {
    EXPECT_STREQ(EntryName(1), "WSACleanup");
    EXPECT_STREQ(EntryName(19), "select");
    EXPECT_STREQ(EntryName(31), "getprotobyname");
    EXPECT_STREQ(EntryName(33), "WSAGetLastError");
    EXPECT_STREQ(EntryName(46), "__WSAFDIsSet");
    EXPECT_STREQ(EntryName(96), "WSAProviderConfigChange");
    EXPECT_STREQ(EntryName(97), "WSADuplicateSocketA");
    EXPECT_STREQ(EntryName(108), "WSASetServiceA");
    EXPECT_STREQ(EntryName(112), "WSARecvEx");
}
} // namespace
