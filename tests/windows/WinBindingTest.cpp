// The binding against the real WS2_32.DLL and the real Windows loader.
#include "net/IdException.h"
#include "net/IdStackWindows.h"
#include "tests/windows/WinTestSupport.h"

#include <functional>

using namespace WinTest;
using IdWinSock2::EntryIsBound;

namespace {
const std::string LoadHeadline = "Error on loading Winsock2 library (WS2_32.DLL)";
std::string CallHeadline(const std::string& AName) {
    return "Error on call Winsock2 library function " + AName;
}

using WinBinding = BindingTest;

TEST_F(WinBinding, MissingLibraryFailsTheStackWithTheSystemsReasonAndCanBeRetried) {
    TLoaderSpy::LoadNameOverride = "vexlo-no-such-library.dll";
    const auto Error = CaughtBy<EIdWS2StubError>([] { TIdStackWindows Stack; });
    ASSERT_TRUE(Error.has_value());
    EXPECT_EQ(Error->Headline(), LoadHeadline);
    EXPECT_EQ(Error->SystemErrorCode(), 126); // ERROR_MOD_NOT_FOUND
    EXPECT_FALSE(Error->SystemErrorText().empty());
    EXPECT_EQ(Error->SystemErrorText(), TrimmedSystemText(126));
    EXPECT_EQ(Error->Message(), LoadHeadline + ": " + TrimmedSystemText(126));
    EXPECT_FALSE(IdWinSock2::IsLoaded());
    EXPECT_FALSE(IdWinSock2::SocketsStarted());

    // A failed load leaves the binding unbound; the next start-up loads again.
    TLoaderSpy::LoadNameOverride = nullptr;
    TIdStackWindows Stack;
    EXPECT_TRUE(IdWinSock2::IsLoaded());
    EXPECT_TRUE(IdWinSock2::SocketsStarted());
    EXPECT_EQ(TLoaderSpy::Loads, 2);
}

TEST_F(WinBinding, StartupCallsThePlatformOnceAndThenAnswersZero) {
    IdWinSock2::TWSAData Data{};
    ASSERT_EQ(IdWinSock2::WSAStartup(0x0202, &Data), 0);
    EXPECT_EQ(Data.wVersion, 0x0202); // filled by the platform itself
    EXPECT_EQ(TLoaderSpy::Loads, 1);
    EXPECT_EQ(TLoaderSpy::Lookups["WSAStartup"], 1);

    IdWinSock2::TWSAData Untouched{};
    Untouched.wVersion = 0x4242;
    EXPECT_EQ(IdWinSock2::WSAStartup(0x0101, &Untouched), 0);
    EXPECT_EQ(Untouched.wVersion, 0x4242);

    TIdStackWindows Stack; // finds the library loaded and does not start it again
    EXPECT_TRUE(IdWinSock2::SocketsStarted());
    EXPECT_EQ(TLoaderSpy::Loads, 1);
    EXPECT_EQ(TLoaderSpy::Lookups["WSAStartup"], 1);
}

TEST_F(WinBinding, EntriesBindAtTheirFirstCallAndAreLookedUpOnce) {
    TIdStackWindows Stack;
    struct TCase {
        const char* Entry;
        std::function<void()> Call;
    };
    const TCase Cases[] = {
        {"htons", [&] { EXPECT_EQ(Stack.ApiHtons(0x1234), 0x3412); }},
        {"ntohs", [&] { EXPECT_EQ(Stack.ApiNtohs(0x3412), 0x1234); }},
        {"htonl", [&] { EXPECT_EQ(Stack.ApiHtonl(0x01020304u), 0x04030201u); }},
        {"ntohl", [&] { EXPECT_EQ(Stack.ApiNtohl(0x04030201u), 0x01020304u); }},
        {"gethostname", [&] { EXPECT_FALSE(Stack.ApiGetHostName().empty()); }},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Entry);
        const int Record = RecordOf(Case.Entry);
        EXPECT_FALSE(EntryIsBound(Record));
        Case.Call();
        EXPECT_TRUE(EntryIsBound(Record));
        Case.Call();
        EXPECT_EQ(TLoaderSpy::Lookups[Case.Entry], 1);
    }
}

TEST_F(WinBinding, CallsBeforeStartupAndAfterUnloadRaiseNotInitialised) {
    const std::string Expected = CallHeadline("select") + ": " + TrimmedSystemText(10093);
    const auto CallSelect = [] {
        IdWinSock2::TTimeVal Time{};
        IdWinSock2::select(0, nullptr, nullptr, nullptr, &Time);
    };

    const auto ExpectAllUnbound = [] {
        for (int Record = 1; Record <= IdWinSock2::EntryCount; ++Record) {
            EXPECT_FALSE(EntryIsBound(Record)) << IdWinSock2::EntryName(Record);
        }
    };

    ExpectAllUnbound();
    auto Error = CaughtBy<EIdWS2StubError>(CallSelect);
    ASSERT_TRUE(Error.has_value());
    EXPECT_EQ(Error->Headline(), CallHeadline("select"));
    EXPECT_EQ(Error->SystemErrorCode(), 10093);
    EXPECT_EQ(Error->Message(), Expected);
    EXPECT_EQ(TLoaderSpy::Loads, 0);
    EXPECT_TRUE(TLoaderSpy::Lookups.empty());

    {
        TIdStackWindows Stack;
        Stack.ApiHtons(1);
        Stack.ApiSelect(nullptr, nullptr, nullptr, 0); // whatever it answers, it binds
        EXPECT_TRUE(EntryIsBound(RecordOf("select")));
    }
    IdWinSock2::FinalizeSockets();
    EXPECT_EQ(TLoaderSpy::Frees, 1);
    EXPECT_FALSE(IdWinSock2::IsLoaded());
    ExpectAllUnbound();
    Error = CaughtBy<EIdWS2StubError>(CallSelect);
    ASSERT_TRUE(Error.has_value());
    EXPECT_EQ(Error->SystemErrorCode(), 10093);
    EXPECT_EQ(Error->Message(), Expected);
}

TEST_F(WinBinding, MissingExportRaisesProcedureNotFoundAndIsNeverCalled) {
    TIdStackWindows Stack;
    const std::string Reason = ": " + TrimmedSystemText(127);

    // WS2_32 has no WSARecvEx (it lives in the extension library), on Windows and Wine.
    const int RecvEx = RecordOf("WSARecvEx");
    auto Error = CaughtBy<EIdWS2StubError>([&] { IdWinSock2::BindEntry(RecvEx); });
    ASSERT_TRUE(Error.has_value());
    EXPECT_EQ(Error->SystemErrorCode(), 127); // ERROR_PROC_NOT_FOUND
    EXPECT_EQ(Error->Message(), CallHeadline("WSARecvEx") + Reason);
    EXPECT_FALSE(EntryIsBound(RecvEx));

    // A typed entry the stack calls: the failure repeats on every call, and the missing
    // address is never jumped to.
    TLoaderSpy::Hidden = "gethostname";
    for (int Attempt = 0; Attempt < 2; ++Attempt) {
        Error = CaughtBy<EIdWS2StubError>([&] { Stack.ApiGetHostName(); });
        ASSERT_TRUE(Error.has_value());
        EXPECT_EQ(Error->SystemErrorCode(), 127);
        EXPECT_EQ(Error->Message(), CallHeadline("gethostname") + Reason);
        EXPECT_FALSE(EntryIsBound(RecordOf("gethostname")));
    }
    EXPECT_EQ(TLoaderSpy::Lookups["gethostname"], 2);
}

TEST(WinPlatform, SystemErrorMessageIsTheSystemsTextOrEmpty) {
    for (const DWORD Code : {2ul, 5ul, 126ul, 127ul}) {
        SCOPED_TRACE(Code);
        EXPECT_FALSE(IdPlatform::SystemErrorMessage(Code).empty());
        EXPECT_EQ(IdPlatform::SystemErrorMessage(Code), RawSystemText(Code));
    }
    // Codes with the customer bit set are never in the system's table.
    constexpr uint32_t NoMessage = 0x2000FFFFu;
    EXPECT_EQ(IdPlatform::SystemErrorMessage(NoMessage), "");
    const EIdWS2StubError Error("Headline", NoMessage);
    EXPECT_EQ(Error.Message(), "Headline: ");
    EXPECT_EQ(Error.SystemErrorText(), "");
}

TEST(WinPlatform, TickCountFollowsTheSystemClock) {
    const uint32_t Start = IdPlatform::TickCount();
    ::Sleep(100);
    const uint32_t Elapsed = IdPlatform::TickCount() - Start; // wraps like the system's
    // Wine's tick counter moves in coarse steps and its Sleep may end a step early: the
    // bounds only tell a counter that follows the clock from one that stands or races.
    EXPECT_GE(Elapsed, 50u);
    EXPECT_LT(Elapsed, 5000u);
}

TEST_F(WinBinding, LocalhostNeedsNoLookup) {
    TIdStackWindows Stack;
    for (const char* Host : {"localhost", "LOCALHOST", "LocalHost"}) {
        EXPECT_EQ(Stack.HostToAddress(Host), "127.0.0.1");
    }
    EXPECT_EQ(Stack.HostToAddress("192.168.0.1"), "192.168.0.1");
    EXPECT_EQ(TLoaderSpy::Lookups.count("gethostbyname"), 0u);
}

} // namespace
