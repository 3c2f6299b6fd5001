// The stack on real Windows sockets: loopback UDP for the waits, a raw ICMP socket for the
// echo path. Only 127.0.0.1 is ever addressed.
#include "net/IdException.h"
#include "net/IdSocketList.h"
#include "net/IdStackWindows.h"
#include "tests/windows/WinTestSupport.h"

#include <algorithm>
#include <cstring>
#include <vector>

using namespace WinTest;

namespace {

class WinSockets : public BindingTest {
  protected:
    void SetUp() override {
        BindingTest::SetUp();
        Stack = std::make_unique<TIdStackWindows>();
    }
    void TearDown() override {
        for (const auto Socket : Opened) {
            Stack->ApiCloseSocket(Socket);
        }
        Stack.reset();
        BindingTest::TearDown();
    }

    TIdStackSocketHandle OpenUdp(int* APort = nullptr) {
        const TIdStackSocketHandle Socket = Stack->ApiSocket(Id_PF_INET, SOCK_DGRAM, IPPROTO_UDP);
        EXPECT_NE(Socket, Id_INVALID_SOCKET);
        Opened.push_back(Socket);
        EXPECT_FALSE(Stack->CheckResult(Stack->ApiBind(Socket, Id_PF_INET, "127.0.0.1", 0)));
        if (APort != nullptr) {
            int Family = 0;
            std::string IP;
            Stack->ApiGetSockName(Socket, Family, IP, *APort);
            EXPECT_EQ(Family, Id_PF_INET);
            EXPECT_EQ(IP, "127.0.0.1");
        }
        return Socket;
    }

    std::unique_ptr<TIdStackWindows> Stack;
    std::vector<TIdStackSocketHandle> Opened;
};

TEST_F(WinSockets, SelectHandsBackOnlyTheReadySocketsInListOrder) {
    int PortA = 0, PortB = 0, PortC = 0;
    const auto A = OpenUdp(&PortA);
    const auto B = OpenUdp(&PortB);
    const auto C = OpenUdp(&PortC);

    TIdSocketHandles Read{A, B, C};
    EXPECT_EQ(Stack->ApiSelect(&Read, nullptr, nullptr, 0), 0);
    EXPECT_TRUE(Read.empty());

    const char Payload[] = "vexlo";
    EXPECT_EQ(Stack->ApiSendTo(A, Payload, 5, 0, "127.0.0.1", PortC), 5);
    EXPECT_EQ(Stack->ApiSendTo(C, Payload, 5, 0, "127.0.0.1", PortA), 5);
    Read = {C, B, A};
    // Both datagrams may not be queued at the first wake-up; wait until they are.
    for (int Tries = 0; Tries < 20; ++Tries) {
        Read = {C, B, A};
        if (Stack->ApiSelect(&Read, nullptr, nullptr, 1000) == 2) {
            break;
        }
    }
    EXPECT_EQ(Read, (TIdSocketHandles{C, A}));

    TIdSocketHandles Write{A, B};
    TIdSocketHandles Errors{A};
    EXPECT_EQ(Stack->ApiSelect(nullptr, &Write, &Errors, 1000), 2);
    EXPECT_EQ(Write, (TIdSocketHandles{A, B}));
    EXPECT_TRUE(Errors.empty());

    char Buffer[16] = {};
    std::string From;
    int FromPort = 0;
    EXPECT_EQ(Stack->ApiRecvFrom(C, Buffer, sizeof Buffer, 0, From, FromPort), 5);
    EXPECT_EQ(std::string(Buffer, 5), "vexlo");
    EXPECT_EQ(From, "127.0.0.1");
    EXPECT_EQ(FromPort, PortA);
}

TEST_F(WinSockets, SelectTimesOutAfterTheGivenMilliseconds) {
    const auto A = OpenUdp();
    TIdSocketHandles Read{A};
    const uint32_t Start = IdPlatform::TickCount();
    EXPECT_EQ(Stack->ApiSelect(&Read, nullptr, nullptr, 300), 0);
    const uint32_t Elapsed = IdPlatform::TickCount() - Start;
    EXPECT_TRUE(Read.empty());
    EXPECT_GE(Elapsed, 250u);
    EXPECT_LT(Elapsed, 3000u);
}

TEST_F(WinSockets, SixtyFourHandlesAreWaitedOnAndSixtyFiveAreRefused) {
    TIdSocketHandles Handles;
    TIdSocketListWindows List;
    for (int I = 0; I < 64; ++I) {
        Handles.push_back(OpenUdp());
        List.Add(Handles.back());
    }
    TIdSocketHandles Read = Handles;
    EXPECT_EQ(Stack->ApiSelect(&Read, nullptr, nullptr, 0), 0);

    Read = Handles;
    Read.push_back(OpenUdp());
    const auto Error = CaughtBy<EIdStackSetSizeExceeded>(
        [&] { Stack->ApiSelect(&Read, nullptr, nullptr, Id_NoTimeLimit); });
    ASSERT_TRUE(Error.has_value()) << "a 65th handle must be refused before any wait";
    EXPECT_EQ(Error->Message(), "Set Size Exceeded.");
    EXPECT_EQ(Read.size(), 65u);

    // The list holds the platform's full-width handles.
    EXPECT_THROW(List.Add(Read.back()), EIdStackSetSizeExceeded);
    List.Remove(Handles[0]);
    EXPECT_EQ(List.Count(), 63);
    EXPECT_EQ(List.Item(0), Handles[63]);
    EXPECT_THROW(List.Item(63), EIdStackSetSizeExceeded);
}

TEST_F(WinSockets, FailedCallsRaiseTheirWindowsSocketsCode) {
    const auto A = OpenUdp();
    struct TCase {
        const char* Name;
        std::function<int()> Call;
        int32_t Code;
        const char* Text;
    };
    static char Big[70000];
    const TCase Cases[] = {
        {"recv on no socket",
         [&] {
             char Buffer[4];
             return Stack->ApiRecv(Id_INVALID_SOCKET, Buffer, sizeof Buffer, 0);
         },
         10038, "Socket operation on non-socket."},
        {"datagram beyond the UDP limit",
         [&] { return Stack->ApiSendTo(A, Big, sizeof Big, 0, "127.0.0.1", 9); }, 10040,
         "Message too long."},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        const int Result = Case.Call();
        EXPECT_EQ(Result, Id_SOCKET_ERROR);
        const auto Error = CaughtBy<EIdSocketError>([&] { Stack->CheckResult(Result); });
        ASSERT_TRUE(Error.has_value());
        EXPECT_EQ(Error->SocketErrorCode(), Case.Code);
        EXPECT_EQ(Error->Message(),
                  "Socket Error # " + std::to_string(Case.Code) + "\r\n" + Case.Text);
        EXPECT_EQ(Stack->LastCode(), Case.Code);
    }
}

uint16_t Checksum(const uint8_t* AData, size_t ALength) {
    uint32_t Sum = 0;
    for (size_t I = 0; I + 1 < ALength; I += 2) {
        Sum += static_cast<uint32_t>(AData[I] << 8 | AData[I + 1]);
    }
    if (ALength % 2 != 0) {
        Sum += static_cast<uint32_t>(AData[ALength - 1] << 8);
    }
    while (Sum >> 16) {
        Sum = (Sum & 0xFFFF) + (Sum >> 16);
    }
    return static_cast<uint16_t>(~Sum);
}

TEST_F(WinSockets, RawIcmpSocketCarriesAnEchoOnLoopback) {
    TIdStackSocketHandle Socket = Id_INVALID_SOCKET;
    try {
        Socket = Stack->NewSocket(Id_SOCK_RAW, Id_IPPROTO_ICMP);
    } catch (const EIdInvalidSocket& Error) {
        GTEST_SKIP() << "raw ICMP sockets need administrator rights (root under Wine): "
                     << Error.Message();
    }
    const int32_t Ttl = 4;
    EXPECT_FALSE(Stack->CheckResult(
        Stack->ApiSetSockOpt(Socket, Id_IPPROTO_IP, Id_IP_TTL, &Ttl, sizeof Ttl)));

    // Echo request: type 8, code 0, checksum, identifier, sequence, 8 bytes of data.
    const uint16_t Identifier = static_cast<uint16_t>(IdPlatform::CurrentProcessId() ^ 0x5A5A);
    uint8_t Request[16] = {8, 0, 0, 0, 0, 0, 0, 7, 'v', 'e', 'x', 'l', 'o'};
    Request[4] = static_cast<uint8_t>(Identifier >> 8);
    Request[5] = static_cast<uint8_t>(Identifier);
    const uint16_t Sum = Checksum(Request, sizeof Request);
    Request[2] = static_cast<uint8_t>(Sum >> 8);
    Request[3] = static_cast<uint8_t>(Sum);
    EXPECT_EQ(Stack->ApiSendTo(Socket, Request, sizeof Request, 0, "127.0.0.1", 0),
              static_cast<int>(sizeof Request));

    // Loopback shows the raw socket its own request and the reply; either proves the path.
    bool Seen = false;
    for (int Datagram = 0; Datagram < 8 && !Seen; ++Datagram) {
        TIdSocketHandles Read{Socket};
        if (Stack->ApiSelect(&Read, nullptr, nullptr, 2000) != 1) {
            break;
        }
        uint8_t Buffer[1024];
        const int Length = Stack->ApiRecv(Socket, Buffer, sizeof Buffer, 0);
        ASSERT_FALSE(Stack->CheckResult(Length));
        ASSERT_GE(Length, 20 + 8);
        // The IPv4 header comes first, as Windows delivers it on a raw ICMP socket.
        const int HeaderLength = (Buffer[0] & 0x0F) * 4;
        EXPECT_EQ(Buffer[0] >> 4, 4);
        EXPECT_EQ(Buffer[9], Id_IPPROTO_ICMP);
        TIdInAddr Source;
        std::memcpy(Source.Bytes, Buffer + 12, 4);
        EXPECT_EQ(Stack->InAddrToText(Source), "127.0.0.1");
        const uint8_t* Icmp = Buffer + HeaderLength;
        Seen = Length >= HeaderLength + 8 && (Icmp[0] == 0 || Icmp[0] == 8) &&
               (Icmp[4] << 8 | Icmp[5]) == Identifier;
    }
    EXPECT_TRUE(Seen) << "no echo datagram of ours arrived on loopback";

    Stack->ApiShutdown(Socket, Id_SD_SEND);
    EXPECT_EQ(Stack->ApiCloseSocket(Socket), 0);
}

} // namespace
