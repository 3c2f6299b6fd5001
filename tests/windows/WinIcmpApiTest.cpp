// The system's ICMP API standing in for a refused raw socket: what each of its results reads
// as, and the whole echo exchange through the real API on loopback. Only 127.0.0.1 is ever
// addressed.
#include "net/IdEchoReply.h"
#include "net/IdException.h"
#include "net/IdIcmpClient.h"
#include "net/win/IcmpApiWin.h"
#include "tests/windows/WinTestSupport.h"

#include <ipexport.h>

#include <string>
#include <vector>

using namespace WinTest;

namespace {

// An echo request as the client builds it: identifier 0x1234 and sequence 7 travel least
// significant byte first, then the data.
const std::vector<uint8_t> Request = {8, 0, 0, 0, 0x34, 0x12, 7, 0, 'v', 'e', 'x', 'l', 'o'};
const uint8_t Target[4] = {127, 0, 0, 1};
const uint8_t Router[4] = {127, 0, 0, 9};
const uint8_t Echoed[5] = {'v', 'e', 'x', 'l', 'o'};

TEST(WinIcmpApi, EachResultReadsAsTheRawSocketWouldHaveDeliveredIt) {
    struct TCase {
        uint32_t Status;
        TReplyKind Kind;    // what the decoder makes of the datagram
        const char* Source; // the address the status line names
    };
    const TCase Cases[] = {
        {IP_SUCCESS, rkEchoReply, "127.0.0.1"},
        {IP_DEST_HOST_UNREACHABLE, rkUnreachable, "127.0.0.9"},
        {IP_DEST_NET_UNREACHABLE, rkUnreachable, "127.0.0.9"},
        {IP_DEST_PORT_UNREACHABLE, rkUnreachable, "127.0.0.9"},
        {IP_TTL_EXPIRED_TRANSIT, rkTtlExpired, "127.0.0.9"},
    };
    for (const auto& C : Cases) {
        IdWin::TEchoResult Result;
        Result.Status = C.Status;
        const auto& From = C.Status == IP_SUCCESS ? Target : Router;
        std::copy(std::begin(From), std::end(From), Result.From);
        Result.Ttl = 61;
        Result.Data = Echoed;
        const auto Framed = IdWin::FrameEchoResult(Result, Request, Target, 32);
        EXPECT_EQ(Framed.SocketError, 0) << C.Status;
        const auto Decoded = DecodeEchoReply(Framed.Datagram, 0x1234, 7);
        EXPECT_EQ(Decoded.Decision, TReplyDecision::Accepted) << C.Status;
        EXPECT_EQ(Decoded.Status.Kind, C.Kind) << C.Status;
        EXPECT_EQ(Decoded.Status.SourceAddress, C.Source) << C.Status;
        EXPECT_EQ(Decoded.Status.Ttl, 61) << C.Status;
    }
    // Another exchange's identifier is not ours, as on a raw socket.
    IdWin::TEchoResult Reply;
    Reply.Data = Echoed;
    const auto Framed = IdWin::FrameEchoResult(Reply, Request, Target, 32);
    EXPECT_EQ(DecodeEchoReply(Framed.Datagram, 0x1235, 7).Decision, TReplyDecision::NotOurs);
}

TEST(WinIcmpApi, TimeOutsLeaveNothingToReadAndFailuresTheirSocketCode) {
    struct TCase {
        uint32_t Status;
        int SocketError;
    };
    const TCase Cases[] = {
        {IP_REQ_TIMED_OUT, 0}, {ERROR_ACCESS_DENIED, 10013}, {IP_NO_RESOURCES, 10055},
        {IP_BAD_ROUTE, 10051}, {IP_GENERAL_FAILURE, 10050},
    };
    for (const auto& C : Cases) {
        IdWin::TEchoResult Result;
        Result.Status = C.Status;
        const auto Framed = IdWin::FrameEchoResult(Result, Request, Target, 32);
        EXPECT_TRUE(Framed.Datagram.empty()) << C.Status;
        EXPECT_EQ(Framed.SocketError, C.SocketError) << C.Status;
    }
}

// The real socket library, except that a raw ICMP socket is refused as Windows refuses it to
// a user without administrator rights; with AllRefused every socket is.
struct TNoRawLoader {
    static inline bool AllRefused = false;
    static inline int RawRefusals = 0;
    static inline IdPlatform::TEntry OwnSocket = nullptr;

    static SOCKET WSAAPI Socket(int AFamily, int AType, int AProtocol) {
        if (AllRefused || (AType == SOCK_RAW && AProtocol == IPPROTO_ICMP)) {
            RawRefusals += AType == SOCK_RAW;
            ::SetLastError(WSAEACCES);
            return INVALID_SOCKET;
        }
        return reinterpret_cast<SOCKET(WSAAPI*)(int, int, int)>(OwnSocket)(AFamily, AType,
                                                                           AProtocol);
    }
    static IdPlatform::TEntry FindEntry(IdPlatform::TModule AModule, const char* AName) {
        const auto Entry = TLoaderSpy::FindEntry(AModule, AName);
        if (std::string(AName) != "socket" || Entry == nullptr) {
            return Entry;
        }
        // The adapter the system loader handed out goes on to the refusing socket call.
        OwnSocket = reinterpret_cast<IdPlatform::TEntry>(
            ::GetProcAddress(static_cast<HMODULE>(AModule), "socket"));
        return IdWin::SocketEntry(AName, reinterpret_cast<IdPlatform::TEntry>(&Socket));
    }
    static const IdPlatform::TLibraryLoader& Loader() {
        static const IdPlatform::TLibraryLoader L{&TLoaderSpy::Load, &FindEntry, &TLoaderSpy::Free,
                                                  &TLoaderSpy::LastError};
        return L;
    }
};

class WinIcmpApiEcho : public BindingTest {
  protected:
    void SetUp() override {
        BindingTest::SetUp();
        TNoRawLoader::AllRefused = false;
        TNoRawLoader::RawRefusals = 0;
        IdWinSock2::SetLibraryLoader(&TNoRawLoader::Loader());
    }
};

TEST_F(WinIcmpApiEcho, RefusedRawSocketPingsThroughTheIcmpApi) {
    TIdIcmpClient Client;
    int Replies = 0;
    Client.OnReply = [&Replies](TIdBaseComponent&, const TReplyStatus&) { ++Replies; };
    Client.SetHost("127.0.0.1");
    Client.SetReceiveTimeout(2000);
    for (uint16_t Sequence = 1; Sequence <= 2; ++Sequence) {
        Client.PingOnce("", Sequence);
        EXPECT_EQ(Client.LastStatus().Kind, rkEchoReply);
        EXPECT_EQ(Client.LastStatus().SourceAddress, "127.0.0.1");
        EXPECT_EQ(Client.LastStatus().Sequence, Sequence);
        EXPECT_GT(Client.LastStatus().Ttl, 0);
    }
    EXPECT_EQ(Replies, 2);
    EXPECT_GE(TNoRawLoader::RawRefusals, 2) << "the raw socket was not what was refused";
}

TEST_F(WinIcmpApiEcho, BothWaysRefusedCannotAllocateASocket) {
    TNoRawLoader::AllRefused = true;
    TIdIcmpClient Client;
    Client.SetHost("127.0.0.1");
    Client.SetReceiveTimeout(500);
    const auto Error = CaughtBy<EIdInvalidSocket>([&] { Client.PingOnce(); });
    ASSERT_TRUE(Error.has_value());
    EXPECT_EQ(Error->Message(), "Cannot allocate socket.");
}

} // namespace
