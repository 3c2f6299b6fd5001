#include "net/IdException.h"
#include "net/IdSocketList.h"
#include "net/IdStackWindows.h"
#include "tests/net/FakeLibrary.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {
constexpr int SockDgram = 2;
constexpr int IpProtoUdp = 17;

// Counts the name look-ups and lets a test choose the platform's last error.
class TProbeStack : public TIdStackWindows {
  public:
    int Lookups = 0;
    int32_t ForcedLastError = 0;
    bool FailSocket = false;
    std::string ApiGetHostByName(const std::string& AHostName) override {
        ++Lookups;
        return TIdStackWindows::ApiGetHostByName(AHostName);
    }
    int32_t ApiLastError() override {
        return ForcedLastError != 0 ? ForcedLastError : TIdStackWindows::ApiLastError();
    }
    TIdStackSocketHandle ApiSocket(int AFamily, int AStruct, int AProtocol) override {
        return FailSocket ? Id_INVALID_SOCKET
                          : TIdStackWindows::ApiSocket(AFamily, AStruct, AProtocol);
    }
};

TEST(HostToAddress, LocalhostInAnyCaseNeedsNoLookup) {
    TProbeStack Stack;
    for (const char* Host : {"localhost", "LOCALHOST", "LocalHost"}) {
        EXPECT_EQ(Stack.HostToAddress(Host), "127.0.0.1") << Host;
    }
    EXPECT_EQ(Stack.Lookups, 0);
}

TEST(HostToAddress, DottedQuadsComeBackCharacterForCharacter) {
    TProbeStack Stack;
    for (const char* Host : {"192.168.0.1", "0x7f.0.0.1", " 10.0.0.1", "$ff.0.010.1"}) {
        EXPECT_EQ(Stack.HostToAddress(Host), Host);
    }
    EXPECT_EQ(Stack.Lookups, 0);
}

// The stack over a fake library whose name service is scripted: this computer is
// "vexlo-box", names starting "no-such" fail with the code a test picks, "bare.test" is
// answered without addresses, and every other name has 192.0.2.77 and 192.0.2.78.
class NameService : public ::testing::Test {
  protected:
    NameService() {
        Current = this;
        Lib.Exports["gethostbyname"] = FakeExport(&GetHostByName);
        Lib.Exports["gethostname"] = FakeExport(&GetHostName);
        IdWinSock2::TWSAData Data;
        EXPECT_EQ(IdWinSock2::WSAStartup(0x0202, &Data), 0);
    }
    static IdWinSock2::THostEnt* IDWSAPI GetHostByName(const char* AName) {
        static char First[4] = {char(192), 0, 2, 77};
        static char Second[4] = {char(192), 0, 2, 78};
        static char* Addresses[] = {First, Second, nullptr};
        static char* NoAddresses[] = {nullptr};
        static IdWinSock2::THostEnt Answer{};
        const std::string Name = AName;
        Current->Asked.push_back(Name);
        if (Name.rfind("no-such", 0) == 0) {
            Current->Lib.SocketError = Current->Failure;
            return nullptr;
        }
        Answer.h_name = const_cast<char*>("answer");
        Answer.h_addrtype = Id_PF_INET;
        Answer.h_length = 4;
        Answer.h_addr_list = Name == "bare.test" ? NoAddresses : Addresses;
        return &Answer;
    }
    static int IDWSAPI GetHostName(char* ABuffer, int ALength) {
        std::snprintf(ABuffer, static_cast<size_t>(ALength), "%s", "vexlo-box");
        return 0;
    }

    static inline NameService* Current = nullptr;
    TFakeLibrary Lib;
    TFakeLibraryScope Scope{Lib};
    TIdStackWindows Stack;
    std::vector<std::string> Asked;
    int32_t Failure = 0;
};

TEST_F(NameService, TextsThatAreNoDottedQuadGoToTheNameLookup) {
    const std::vector<std::string> Hosts = {"256.1.1.1", "1.2.3",    "1.2.3.4.5", "1..2.3",
                                            "1.2.3.4 ",  "1.2.3.-1", "w.x.y.z",   "ping.test"};
    for (const std::string& Host : Hosts) {
        EXPECT_EQ(Stack.HostToAddress(Host), "192.0.2.77") << Host;
    }
    EXPECT_EQ(Asked, Hosts);
}

TEST_F(NameService, FailedLookupRaisesWithThePlatformsCode) {
    const struct {
        const char* Host;
        int32_t Failure;
        const char* Message;
    } Cases[] = {{"no-such-host.invalid", 11001, "Socket Error # 11001\r\nHost not found."},
                 {"no-such-host.invalid", 11002, "Socket Error # 11002\r\n"}, // try again
                 {"bare.test", 0, "Socket Error # 11001\r\nHost not found."}};
    for (const auto& C : Cases) {
        Failure = C.Failure;
        try {
            Stack.HostToAddress(C.Host);
            ADD_FAILURE() << C.Host << " resolved";
        } catch (const EIdSocketError& E) {
            EXPECT_EQ(E.Message(), C.Message) << C.Host;
        }
    }
}

TEST_F(NameService, LocalAddressesInAnswerOrderFromEitherEntry) {
    Stack.FillLocalAddresses(); // before any list exists
    const std::vector<std::string> Expected = {"192.0.2.77", "192.0.2.78"};
    EXPECT_EQ(Stack.LocalAddressList(), Expected);
    EXPECT_EQ(Stack.FirstLocalAddress(), "192.0.2.77");
    EXPECT_EQ(Asked, std::vector<std::string>(3, "vexlo-box"));
}

struct TQuadCase {
    const char* Text;
    bool IsQuad;
    friend void PrintTo(const TQuadCase& C, std::ostream* Os) { *Os << '"' << C.Text << '"'; }
};
class DottedQuad : public ::testing::TestWithParam<TQuadCase> {};
TEST_P(DottedQuad, Test) {
    EXPECT_EQ(TIdStack::IsDottedQuad(GetParam().Text), GetParam().IsQuad) << GetParam().Text;
}
INSTANTIATE_TEST_SUITE_P(
    Texts, DottedQuad,
    ::testing::Values(TQuadCase{"192.168.0.1", true}, TQuadCase{"0x7f.0.0.1", true},
                      TQuadCase{" 10.0.0.1", true}, TQuadCase{"255.255.255.255", true},
                      TQuadCase{"0.0.0.0", true}, TQuadCase{"256.1.1.1", false},
                      TQuadCase{"1.2.3", false}, TQuadCase{"1.2.3.4.5", false},
                      TQuadCase{"1..2.3", false}, TQuadCase{"1.2.3.4 ", false},
                      TQuadCase{"w.x.y.z", false}, TQuadCase{"1.2.3.-1", false},
                      TQuadCase{"", false}, TQuadCase{"...", false}, TQuadCase{"-0.0.0.0", true}));

TEST(InAddr, TextOfBytesAndBack) {
    TIdStackWindows Stack;
    EXPECT_EQ(Stack.InAddrToText({{127, 0, 0, 1}}), "127.0.0.1");
    EXPECT_EQ(Stack.InAddrToText({{10, 0, 0, 1}}), "10.0.0.1");
    EXPECT_EQ(Stack.InAddrToText({{0, 0, 0, 0}}), "0.0.0.0");
    EXPECT_EQ(Stack.InAddrToText({{255, 255, 255, 255}}), "255.255.255.255");

    struct TCase {
        const char* Text;
        uint8_t Bytes[4];
    } Cases[] = {{"1.2.3.4.5", {1, 2, 3, 4}},
                 {"300.1.1.1", {44, 1, 1, 1}},
                 {"256.-1.0.1", {0, 255, 0, 1}},
                 {"$7f.0.0.1", {127, 0, 0, 1}}};
    for (const auto& C : Cases) {
        const TIdInAddr A = Stack.TextToInAddr(C.Text);
        EXPECT_EQ(0, std::memcmp(A.Bytes, C.Bytes, 4)) << C.Text;
    }
}

TEST(InAddr, PieceThatDoesNotConvertRaisesConvertError) {
    TIdStackWindows Stack;
    TIdInAddr A{};
    try {
        Stack.ParseInAddr("1.x.3.4", A);
        FAIL();
    } catch (const EConvertError& E) {
        EXPECT_EQ(E.Message(), "'x' is not a valid integer value");
    }
    EXPECT_THROW(Stack.ParseInAddr("1.2.3", A), EConvertError); // missing fourth piece
}

TEST(CheckResult, OnlyMinusOneReadsTheLastErrorAndRaises) {
    TProbeStack Stack;
    Stack.ForcedLastError = 10054;
    EXPECT_FALSE(Stack.CheckResult(0));
    EXPECT_FALSE(Stack.CheckResult(5));
    EXPECT_EQ(Stack.LastCode(), 0);
    for (const int32_t Code : {10035, 10004, 10060}) {
        Stack.ForcedLastError = Code;
        try {
            Stack.CheckResult(-1);
            ADD_FAILURE() << Code;
        } catch (const EIdSocketError& E) {
            EXPECT_EQ(E.SocketErrorCode(), Code);
        }
        EXPECT_EQ(Stack.LastCode(), Code);
    }
    Stack.ForcedLastError = 10035;
    EXPECT_TRUE(Stack.CheckResult(-1, {10004, 10035}));
    EXPECT_THROW(Stack.CheckResult(-1, {10004}), EIdSocketError);
}

TEST(ZoneIndex, NumbersAreTakenAsTheyStandAndUnknownNamesAreNone) {
    const std::pair<const char*, uint32_t> Rows[] = {
        {"7", 7},  {"4294967295", 4294967295U}, {"4294967296", 0}, {"", 0},
        {"-1", 0}, {"no-such-link", 0},
    };
    for (const auto& [Zone, Index] : Rows) {
        EXPECT_EQ(IdPlatform::ZoneIndex(Zone), Index) << Zone;
    }
}

TEST(NewSocket, RefusalRaisesCannotAllocate) {
    TProbeStack Stack;
    Stack.FailSocket = true;
    try {
        Stack.NewSocket(Id_SOCK_RAW, Id_IPPROTO_ICMP);
        FAIL();
    } catch (const EIdInvalidSocket& E) {
        EXPECT_EQ(E.Message(), "Cannot allocate socket.");
    }
}

TEST(NewSocket, RawIcmpSocketOpensAndCloses) {
    TIdStackWindows Stack;
    TIdStackSocketHandle S = Id_INVALID_SOCKET;
    try {
        S = Stack.NewSocket(Id_SOCK_RAW, Id_IPPROTO_ICMP);
    } catch (const EIdInvalidSocket&) {
        GTEST_SKIP() << "raw sockets need root or CAP_NET_RAW here";
    }
    const int Ttl = 128;
    EXPECT_FALSE(Stack.CheckResult(Stack.ApiSetSockOpt(S, Id_IPPROTO_IP, Id_IP_TTL, &Ttl, 4)));
    EXPECT_EQ(Stack.ApiCloseSocket(S), 0);
}

// The adapter spares the calls that change nothing on the socket of an exchange; each that
// does change something still reaches the kernel, on a socket again under the same number.
// An unconnected socket's shutdown is answered as the platform answers it (Linux refuses it
// with ENOTCONN, Wine lets it pass), the same every time.
TEST(NewSocket, RawIcmpSocketKeepsEveryTtlSetAndShutsDownOnlyOnceConnected) {
    TIdStackWindows Stack;
    std::optional<std::pair<int, int>> Unconnected;
    const auto TtlOf = [&Stack](TIdStackSocketHandle AS) {
        int Ttl = 0;
        int Length = sizeof Ttl;
        Stack.ApiGetSockOpt(AS, Id_IPPROTO_IP, Id_IP_TTL, &Ttl, Length);
        return Ttl;
    };
    for (const int Ttl : {200, 200, 7, 200}) {
        TIdStackSocketHandle S = Id_INVALID_SOCKET;
        try {
            S = Stack.NewSocket(Id_SOCK_RAW, Id_IPPROTO_ICMP);
        } catch (const EIdInvalidSocket&) {
            GTEST_SKIP() << "raw sockets need root or CAP_NET_RAW here";
        }
        for (const int Set : {Ttl, Ttl, 31, Ttl}) {
            ASSERT_EQ(Stack.ApiSetSockOpt(S, Id_IPPROTO_IP, Id_IP_TTL, &Set, 4), 0);
            EXPECT_EQ(TtlOf(S), Set);
        }
        const int Shut = Stack.ApiShutdown(S, Id_SD_SEND);
        const std::pair<int, int> Answer{Shut, Shut == 0 ? 0 : Stack.ApiLastError()};
        if (Shut != 0) {
            EXPECT_EQ(Answer, std::make_pair(Id_SOCKET_ERROR, 10057)) << "WSAENOTCONN";
        }
        EXPECT_EQ(Answer, Unconnected.value_or(Answer));
        Unconnected = Answer;
        ASSERT_EQ(Stack.ApiConnect(S, Id_PF_INET, "127.0.0.1", 0), 0);
        EXPECT_EQ(Stack.ApiShutdown(S, Id_SD_SEND), 0);
        EXPECT_EQ(Stack.ApiCloseSocket(S), 0);
    }
}

// Real loopback datagram sockets for the readiness waits.
class Select : public ::testing::Test {
  protected:
    TIdStackSocketHandle Open() {
        const TIdStackSocketHandle S = Stack.ApiSocket(Id_PF_INET, SockDgram, IpProtoUdp);
        EXPECT_NE(S, Id_INVALID_SOCKET);
        EXPECT_FALSE(Stack.CheckResult(Stack.ApiBind(S, Id_PF_INET, "127.0.0.1", 0)));
        Sockets.push_back(S);
        return S;
    }
    int PortOf(TIdStackSocketHandle S) {
        int Family, Port;
        std::string IP;
        Stack.ApiGetSockName(S, Family, IP, Port);
        EXPECT_EQ(IP, "127.0.0.1");
        return Port;
    }
    void TearDown() override {
        for (auto S : Sockets) {
            Stack.ApiCloseSocket(S);
        }
    }
    TIdStackWindows Stack;
    TIdSocketHandles Sockets;
};

TEST_F(Select, ReadableSocketIsKeptInTheList) {
    const auto Quiet = Open();
    const auto Busy = Open();
    const char Byte = 'x';
    ASSERT_EQ(Stack.ApiSendTo(Busy, &Byte, 1, 0, "127.0.0.1", PortOf(Busy)), 1);
    TIdSocketHandles Read{Quiet, Busy};
    EXPECT_EQ(Stack.ApiSelect(&Read, nullptr, nullptr, 1000), 1);
    EXPECT_EQ(Read, TIdSocketHandles{Busy});
    char In[8];
    EXPECT_EQ(Stack.ApiRecv(Busy, In, sizeof In, 0), 1);
}

TEST_F(Select, TimeOutReturnsZeroAndEmptiesTheList) {
    TIdSocketHandles Read{Open()};
    const auto Start = std::chrono::steady_clock::now();
    EXPECT_EQ(Stack.ApiSelect(&Read, nullptr, nullptr, 150), 0);
    const auto Waited = std::chrono::steady_clock::now() - Start;
    EXPECT_TRUE(Read.empty());
    EXPECT_GE(Waited, std::chrono::milliseconds(140));
    Read = {Sockets[0]};
    EXPECT_EQ(Stack.ApiSelect(&Read, nullptr, nullptr, 0), 0); // a poll
}

TEST_F(Select, WritableListAndMissingListsTogether) {
    const auto S = Open();
    TIdSocketHandles Write{S};
    TIdSocketHandles Errors{S};
    EXPECT_EQ(Stack.ApiSelect(nullptr, &Write, &Errors, 0), 1);
    EXPECT_EQ(Write, TIdSocketHandles{S});
    EXPECT_TRUE(Errors.empty());
}

TEST_F(Select, SixtyFiveHandlesRaiseBeforeAnyWait) {
    TIdSocketHandles Read(65, Open());
    const auto Start = std::chrono::steady_clock::now();
    EXPECT_THROW(Stack.ApiSelect(&Read, nullptr, nullptr, Id_NoTimeLimit), EIdStackSetSizeExceeded);
    EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(1));
    EXPECT_EQ(Read.size(), 65u);
}

TEST_F(Select, SixtyFourHandlesWait) {
    TIdSocketHandles Read;
    for (int I = 0; I < 64; ++I) {
        Read.push_back(Open());
    }
    EXPECT_EQ(Stack.ApiSelect(&Read, nullptr, nullptr, 10), 0);
}

TEST_F(Select, NothingToWaitOnIsAnInvalidArgument) {
    TIdSocketHandles Empty;
    EXPECT_EQ(Stack.ApiSelect(&Empty, nullptr, nullptr, Id_NoTimeLimit), -1);
    EXPECT_EQ(Stack.ApiLastError(), 10022);
}

TEST_F(Select, ClosedHandleFails) {
    const auto S = Open();
    Stack.ApiCloseSocket(S);
    Sockets.clear();
    TIdSocketHandles Read{S};
    EXPECT_EQ(Stack.ApiSelect(&Read, nullptr, nullptr, 0), -1);
    EXPECT_EQ(Stack.ApiLastError(), 10038);
}

TEST(SocketList, HoldsSixtyFourAndRemovesByMovingTheLast) {
    TIdSocketListWindows List;
    for (int I = 0; I < 64; ++I) {
        List.Add(static_cast<TIdStackSocketHandle>(100 + I));
    }
    EXPECT_THROW(List.Add(7), EIdStackSetSizeExceeded);
    EXPECT_THROW(List.Item(64), EIdStackSetSizeExceeded);
    EXPECT_THROW(List.Item(-1), EIdStackSetSizeExceeded);
    List.Remove(101);
    EXPECT_EQ(List.Count(), 63);
    EXPECT_EQ(List.Item(1), static_cast<TIdStackSocketHandle>(163));
    List.Remove(9999);
    EXPECT_EQ(List.Count(), 63);
}

TEST(StackServices, ServiceNamesAndPorts) {
    TIdStackWindows Stack;
    EXPECT_EQ(Stack.ApiGetServByName("8080"), 8080);
    try {
        Stack.ApiGetServByName("no-such-service");
        FAIL();
    } catch (const EIdInvalidServiceName& E) {
        EXPECT_EQ(E.Message(), "no-such-service is not a valid service.");
    }
    EXPECT_EQ(Stack.ApiHtons(0x1234), Stack.ApiNtohs(0x1234));
    EXPECT_EQ(Stack.ApiNtohl(Stack.ApiHtonl(0x01020304u)), 0x01020304u);
}
} // namespace
