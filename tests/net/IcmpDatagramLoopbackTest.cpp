// Echo exchanges with loopback through the ICMP datagram socket, for a process that may not
// open a raw socket. ctest runs these as nobody in a network namespace of their own whose
// ping_group_range admits every group (tests/net/CMakeLists.txt); elsewhere they skip.
#include "net/IdException.h"
#include "net/IdGlobal.h"
#include "net/IdIcmpClient.h"
#include "tests/support/PingAccess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

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
// out, so what is read is the kernel's reply with the kernel's TTL or hop limit. An IPv6
// reply counts its message alone, as from the raw socket.
TEST_F(IcmpDatagramLoopback, PingOnceTakesTheKernelsReply) {
    TIdIcmpClient Client;
    Client.SetReceiveTimeout(1000);
    int Fired = 0;
    Client.OnReply = [&](TIdBaseComponent&, const TReplyStatus&) { ++Fired; };
    const struct {
        const char* Host;
        const char* Source;
        int Type, Bytes;
    } Cases[] = {
        {"127.0.0.1", "127.0.0.1", 0, 72}, {"localhost", "127.0.0.1", 0, 72},
        {"::1", "::1", 129, 52},           {"LOCALHOST", "127.0.0.1", 0, 72},
        {"[::1]", "::1", 129, 52},         {"127.0.0.1", "127.0.0.1", 0, 72},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Host);
        const uint16_t Seq = Client.SequenceNumber();
        Client.SetHost(C.Host);
        Client.PingOnce("  ");
        const auto& S = Client.LastStatus();
        EXPECT_EQ(S.Kind, rkEchoReply);
        EXPECT_EQ(S.IcmpType, C.Type);
        EXPECT_EQ(S.SourceAddress, C.Source);
        EXPECT_EQ(S.Sequence, Seq);
        EXPECT_EQ(S.ByteCount, C.Bytes);
        EXPECT_EQ(S.Ttl, 64);
        EXPECT_LT(S.RoundTripMs, 1000u);
        EXPECT_FALSE(Client.SocketBinding().IsOpen());
    }
    EXPECT_EQ(Fired, 6);
}

// Another ping socket holds our identifier: the kernel picks another for our request, and
// its reply still reads as the answer to ours, while the holder gets nothing.
TEST_F(IcmpDatagramLoopback, IdentifierHeldElsewhereIsTranslated) {
    for (const char* Host : {"127.0.0.1", "::1"}) {
        SCOPED_TRACE(Host);
        const bool Six = Host[0] == ':';
        const int Holder = Six ? ::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMPV6)
                               : ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
        ASSERT_GE(Holder, 0) << std::strerror(errno);
        const auto Id = static_cast<uint16_t>(IdProcessId());
        const uint8_t Wire[2] = {static_cast<uint8_t>(Id), static_cast<uint8_t>(Id >> 8)};
        sockaddr_in Own{};
        Own.sin_family = AF_INET;
        sockaddr_in6 Own6{};
        Own6.sin6_family = AF_INET6;
        std::memcpy(&Own.sin_port, Wire, 2);
        std::memcpy(&Own6.sin6_port, Wire, 2);
        ASSERT_EQ(Six ? ::bind(Holder, reinterpret_cast<sockaddr*>(&Own6), sizeof Own6)
                      : ::bind(Holder, reinterpret_cast<sockaddr*>(&Own), sizeof Own),
                  0)
            << std::strerror(errno);

        TIdIcmpClient Client;
        Client.SetHost(Host);
        Client.SetReceiveTimeout(1000);
        for (uint16_t Seq : {100, 101}) {
            Client.PingOnce("  ", Seq);
            EXPECT_EQ(Client.LastStatus().Kind, rkEchoReply);
            EXPECT_EQ(Client.LastStatus().Sequence, Seq);
            EXPECT_EQ(Client.LastStatus().SourceAddress, Host);
        }
        pollfd Poll{Holder, POLLIN, 0};
        EXPECT_EQ(::poll(&Poll, 1, 100), 0) << "the holder of the identifier got a reply";
        ::close(Holder);
    }
}

// A short read gets the front of the datagram a raw socket would have given, header first.
TEST_F(IcmpDatagramLoopback, ShortReadGetsTheFrontOfTheFramedReply) {
    TIdIcmpClient Client;
    Client.SetReceiveTimeout(1000);
    const auto Id = static_cast<uint16_t>(IdProcessId());
    for (const bool Six : {false, true}) {
        // IPv6: 40 bytes of header where IPv4 has 20, loopback's ::1 at both ends.
        const int Header = Six ? 40 : 20, Whole = Header + 52;
        for (const int Size :
             {1, 10, 20, 21, 26, 27, 28, 40, 41, 47, 48, 55, 56, 71, 72, 91, 92, 1024}) {
            SCOPED_TRACE(std::to_string(Size) + (Six ? " IPv6" : " IPv4"));
            uint8_t Request[52] = {static_cast<uint8_t>(Six ? 128 : 8),
                                   0,
                                   0,
                                   0,
                                   static_cast<uint8_t>(Id),
                                   static_cast<uint8_t>(Id >> 8),
                                   static_cast<uint8_t>(Size),
                                   0x77};
            Client.SendPacket(Six ? "::1" : "127.0.0.1", 0, Request, sizeof Request);
            uint8_t Buffer[1024 + 8];
            std::memset(Buffer, 0xAB, sizeof Buffer);
            const int Count = Client.ReceiveInto(Buffer, Size, 1000);
            Client.SocketBinding().ReleaseSocket();
            EXPECT_EQ(Count, std::min(Size, Whole));
            EXPECT_EQ(Buffer[Size], 0xAB) << "written past the buffer";
            std::vector<uint8_t> Front(Header + 8, 0);
            if (Six) {
                Front[0] = 0x60;
                Front[5] = 52;
                Front[6] = 58;
                Front[7] = 64;
                Front[23] = Front[39] = 1;
                Front[40] = 129;
            } else {
                const uint8_t Four[20] = {0x45, 0, 0,   72, 0, 0, 0,   0, 64, 1,
                                          0,    0, 127, 0,  0, 1, 127, 0, 0,  1};
                std::copy(Four, Four + 20, Front.begin());
            }
            std::copy(Request + 4, Request + 8, Front.begin() + Header + 4);
            for (int I = 0; I < std::min(Count, Header + 8); ++I) {
                const bool Checksum =
                    Six ? I == 42 || I == 43 : I == 10 || I == 11 || I == 22 || I == 23;
                if (!Checksum) {
                    EXPECT_EQ(Buffer[I], Front[I]) << "byte " << I;
                }
            }
        }
    }
}

// An error about our request comes only through the error queue; rebuilt, it reads as the
// raw socket's error datagram would. ctest runs these in a namespace whose own rules refuse
// echo requests to an address of each family on lo (tests/net/reject-setup.sh).
TEST(IcmpDatagramErrors, AnErrorReadsAsFromARawSocket) {
    // Root with a raw socket gets the same in such a namespace.
    if (PingAccess() == TPingAccess::None) {
        GTEST_SKIP() << PingAccessMismatch(TPingAccess::Datagram);
    }
    const struct {
        const char* Host;
        int Type;
    } Cases[] = {{"192.0.2.1", 3}, {"2001:db8::1", 1}, {"192.0.2.1", 3}};
    // Nothing is sent unless both addresses are this namespace's own: elsewhere they might
    // be routed off the machine.
    sockaddr_in Four{};
    Four.sin_family = AF_INET;
    ::inet_pton(AF_INET, "192.0.2.1", &Four.sin_addr);
    sockaddr_in6 Six{};
    Six.sin6_family = AF_INET6;
    ::inet_pton(AF_INET6, "2001:db8::1", &Six.sin6_addr);
    const int Probe4 = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int Probe6 = ::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const bool Own = ::bind(Probe4, reinterpret_cast<sockaddr*>(&Four), sizeof Four) == 0 &&
                     ::bind(Probe6, reinterpret_cast<sockaddr*>(&Six), sizeof Six) == 0;
    ::close(Probe4);
    ::close(Probe6);
    if (!Own) {
        GTEST_SKIP() << "192.0.2.1 and 2001:db8::1 are not on lo here (tests/net/reject-setup.sh)";
    }
    TIdIcmpClient Client;
    Client.SetReceiveTimeout(1000);
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Host);
        Client.SetHost(C.Host);
        const uint16_t Seq = Client.SequenceNumber();
        Client.PingOnce("  ");
        const auto& S = Client.LastStatus();
        EXPECT_EQ(S.Kind, rkUnreachable);
        EXPECT_EQ(S.IcmpType, C.Type);
        EXPECT_EQ(S.SourceAddress, C.Host);
        EXPECT_EQ(S.Sequence, Seq);
        // IPv4 counts the error's IPv4 headers, IPv6 its message alone: each as its raw
        // socket reads it.
        EXPECT_EQ(S.ByteCount, 100);
        EXPECT_EQ(S.Ttl, 64);
        EXPECT_LT(S.RoundTripMs, 1000u);
    }
}

} // namespace
