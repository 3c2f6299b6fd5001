// The binding's states, driven through a fake library so that look-ups, loads and
// failures can be counted and forced.
#include "net/IdException.h"
#include "net/IdStackWindows.h"
#include "net/IdWinSock2.h"
#include "tests/net/FakeLibrary.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {
using namespace IdWinSock2;

int IDWSAPI FakeSelect(int, TFdSet*, TFdSet*, TFdSet*, const TTimeVal*) {
    return 42;
}
int IDWSAPI FakeSendTo(TSocket, const char*, int ALen, int, const TSockAddr*, int) {
    return ALen;
}

class Binding : public ::testing::Test {
  protected:
    Binding() {
        Lib.Exports["select"] = FakeExport(&FakeSelect);
        Lib.Exports["sendto"] = FakeExport(&FakeSendTo);
    }
    TFakeLibrary Lib;
    TFakeLibraryScope Scope{Lib};
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

// A platform that refuses to start, or a library without its start-up, must leave nothing
// loaded: the next stack would otherwise take the library for a started platform.
TEST(BindingStartup, FailedStartupUnloadsSoTheNextStackCallsThePlatformAgain) {
    for (const bool Refused : {true, false}) {
        SCOPED_TRACE(Refused ? "platform refuses" : "library lacks WSAStartup");
        TFakeLibrary Lib;
        TFakeLibraryScope Scope(Lib);
        const TProc Startup = Lib.Exports["WSAStartup"];
        if (Refused) {
            Lib.StartupResult = 10091; // WSASYSNOTREADY
        } else {
            Lib.Exports.erase("WSAStartup");
        }
        for (int Try = 1; Try <= 2; ++Try) {
            try {
                TIdStackWindows Stack;
                ADD_FAILURE() << "started on try " << Try;
            } catch (const EIdStackInitializationFailed& E) {
                EXPECT_TRUE(Refused);
                EXPECT_EQ(E.Message(), "Winsock Initialization Error.");
            } catch (const EIdWS2StubError& E) {
                EXPECT_FALSE(Refused);
                EXPECT_EQ(E.Headline(), "Error on call Winsock2 library function WSAStartup");
                EXPECT_EQ(E.SystemErrorCode(), 127);
            }
            EXPECT_FALSE(IsLoaded());
            EXPECT_FALSE(SocketsStarted());
            EXPECT_EQ(Lib.Loads, Try);
            EXPECT_EQ(Lib.Frees, Try);
            EXPECT_EQ(Lib.Lookups["WSAStartup"], Try);
            EXPECT_EQ(Lib.Startups, Refused ? Try : 0);
        }
        Lib.StartupResult = 0;
        Lib.Exports["WSAStartup"] = Startup;
        TIdStackWindows Stack;
        EXPECT_TRUE(SocketsStarted());
        EXPECT_TRUE(IsLoaded());
        EXPECT_EQ(Lib.Startups, Refused ? 3 : 1);
    }
}

// The program-end clean-up belongs to the platform a stack started, and ends that start: a
// stack made afterwards starts the platform again instead of calling an unloaded library.
TEST(BindingStartup, ProgramEndCleansUpOnlyAStartedPlatformAndEndsTheStart) {
    TFakeLibrary Lib;
    TFakeLibraryScope Scope(Lib);
    TWSAData Data;
    ASSERT_EQ(IdWinSock2::WSAStartup(0x0202, &Data), 0);
    EXPECT_FALSE(SocketsStarted());
    FinalizeSockets();
    EXPECT_EQ(Lib.Cleanups, 0);
    EXPECT_EQ(Lib.Frees, 1);
    {
        TIdStackWindows Stack;
        EXPECT_TRUE(SocketsStarted());
    }
    FinalizeSockets();
    EXPECT_EQ(Lib.Cleanups, 1);
    EXPECT_EQ(Lib.Frees, 2);
    EXPECT_FALSE(SocketsStarted());
    EXPECT_FALSE(IsLoaded());
    TIdStackWindows Again;
    EXPECT_TRUE(SocketsStarted());
    EXPECT_EQ(Lib.Startups, 3);
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
