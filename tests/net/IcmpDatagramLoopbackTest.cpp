// Echo exchanges with loopback through the ICMP datagram socket, for a process that may not
// open a raw socket. ctest runs these as nobody in a network namespace of their own whose
// ping_group_range admits every group (tests/net/CMakeLists.txt); elsewhere they skip.
#include "net/IdException.h"
#include "net/IdGlobal.h"
#include "net/IdIcmpClient.h"
#include "tests/support/PingAccess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

class IcmpDatagramLoopback : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string Why = PingAccessMismatch(TPingAccess::Datagram);
        if (!Why.empty()) {
            GTEST_SKIP() << Why;
        }
    }
};

// The kernel answers for loopback itself; a datagram socket never sees our own request go
// out, so what is read is the kernel's reply with the kernel's TTL.
TEST_F(IcmpDatagramLoopback, PingOnceTakesTheKernelsReply) {
    TIdIcmpClient Client;
    Client.SetReceiveTimeout(1000);
    int Fired = 0;
    Client.OnReply = [&](TIdBaseComponent&, const TReplyStatus&) { ++Fired; };
    for (const char* Host : {"127.0.0.1", "localhost", "LOCALHOST", "127.0.0.1"}) {
        SCOPED_TRACE(Host);
        const uint16_t Seq = Client.SequenceNumber();
        Client.SetHost(Host);
        Client.PingOnce("  ");
        const auto& S = Client.LastStatus();
        EXPECT_EQ(S.Kind, rkEchoReply);
        EXPECT_EQ(S.IcmpType, 0);
        EXPECT_EQ(S.SourceAddress, "127.0.0.1");
        EXPECT_EQ(S.Sequence, Seq);
        EXPECT_EQ(S.ByteCount, 72);
        EXPECT_EQ(S.Ttl, 64);
        EXPECT_LT(S.RoundTripMs, 1000u);
        EXPECT_FALSE(Client.SocketBinding().IsOpen());
    }
    EXPECT_EQ(Fired, 4);
}

// Another ping socket holds our identifier: the kernel picks another for our request, and
// its reply still reads as the answer to ours, while the holder gets nothing.
TEST_F(IcmpDatagramLoopback, IdentifierHeldElsewhereIsTranslated) {
    const int Holder = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    ASSERT_GE(Holder, 0) << std::strerror(errno);
    const auto Id = static_cast<uint16_t>(IdProcessId());
    const uint8_t Wire[2] = {static_cast<uint8_t>(Id), static_cast<uint8_t>(Id >> 8)};
    sockaddr_in Own{};
    Own.sin_family = AF_INET;
    std::memcpy(&Own.sin_port, Wire, 2);
    ASSERT_EQ(::bind(Holder, reinterpret_cast<sockaddr*>(&Own), sizeof Own), 0)
        << std::strerror(errno);

    TIdIcmpClient Client;
    Client.SetHost("127.0.0.1");
    Client.SetReceiveTimeout(1000);
    for (uint16_t Seq : {100, 101}) {
        Client.PingOnce("  ", Seq);
        EXPECT_EQ(Client.LastStatus().Kind, rkEchoReply);
        EXPECT_EQ(Client.LastStatus().Sequence, Seq);
        EXPECT_EQ(Client.LastStatus().SourceAddress, "127.0.0.1");
    }
    pollfd Poll{Holder, POLLIN, 0};
    EXPECT_EQ(::poll(&Poll, 1, 100), 0) << "the holder of the identifier got a reply";
    ::close(Holder);
}

// A short read gets the front of the datagram a raw socket would have given, header first.
TEST_F(IcmpDatagramLoopback, ShortReadGetsTheFrontOfTheFramedReply) {
    TIdIcmpClient Client;
    Client.SetReceiveTimeout(1000);
    const auto Id = static_cast<uint16_t>(IdProcessId());
    for (const int Size : {1, 10, 20, 21, 26, 27, 28, 55, 56, 71, 72, 1024}) {
        SCOPED_TRACE(Size);
        uint8_t Request[52] = {8,
                               0,
                               0,
                               0,
                               static_cast<uint8_t>(Id),
                               static_cast<uint8_t>(Id >> 8),
                               static_cast<uint8_t>(Size),
                               0x77};
        Client.SendPacket("127.0.0.1", 0, Request, sizeof Request);
        uint8_t Buffer[1024 + 8];
        std::memset(Buffer, 0xAB, sizeof Buffer);
        const int Count = Client.ReceiveInto(Buffer, Size, 1000);
        Client.SocketBinding().ReleaseSocket();
        EXPECT_EQ(Count, std::min(Size, 72));
        EXPECT_EQ(Buffer[Size], 0xAB) << "written past the buffer";
        const uint8_t Front[28] = {
            0x45, 0, 0,   72, 0, 0, 0, 0, 64, 1, 0,          0,          127,        0,
            0,    1, 127, 0,  0, 1, 0, 0, 0,  0, Request[4], Request[5], Request[6], Request[7]};
        for (int I = 0; I < std::min(Count, 28); ++I) {
            if (I != 10 && I != 11 && I != 22 && I != 23) { // the checksums
                EXPECT_EQ(Buffer[I], Front[I]) << "byte " << I;
            }
        }
    }
}

} // namespace
