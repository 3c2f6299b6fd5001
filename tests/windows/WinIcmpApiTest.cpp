// The system's ICMP API standing in for a refused raw socket: the whole echo exchange through
// the real API on loopback (what each of its results reads as is tested on every platform,
// in tests/net/IcmpApiFramesTest.cpp). Only 127.0.0.1 is ever addressed.
#include "net/IdEchoReply.h"
#include "net/IdException.h"
#include "net/IdIcmpClient.h"
#include "net/win/IdWinSock2Win.h"
#include "tests/windows/WinTestSupport.h"

#include <string>
#include <vector>

using namespace WinTest;

namespace {

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
