// The system's ICMP API standing in for a refused raw socket: the whole echo exchange through
// the real API on loopback (what each of its results reads as is tested on every platform,
// in tests/net/IcmpApiFramesTest.cpp). Only 127.0.0.1 and ::1 are ever addressed.
#include "net/IdEchoReply.h"
#include "net/IdException.h"
#include "net/IdIcmpClient.h"
#include "net/IdStackWindows.h"
#include "net/win/IdWinSock2Win.h"
#include "tests/windows/WinTestSupport.h"

#include <ws2tcpip.h>

#include <cstring>
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
        if (AllRefused ||
            (AType == SOCK_RAW && (AProtocol == IPPROTO_ICMP || AProtocol == IPPROTO_ICMPV6))) {
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

// What the system's ICMPv6 API gives this process: 0 where it works, else the code its handle
// is refused with (Wine 8 only stubs it: ERROR_CALL_NOT_IMPLEMENTED).
DWORD Icmp6ApiRefusal() {
    const HMODULE Module = ::LoadLibraryA("iphlpapi.dll");
    const auto Create = reinterpret_cast<HANDLE(WINAPI*)()>(
        reinterpret_cast<void*>(::GetProcAddress(Module, "Icmp6CreateFile")));
    const auto Close = reinterpret_cast<BOOL(WINAPI*)(HANDLE)>(
        reinterpret_cast<void*>(::GetProcAddress(Module, "IcmpCloseHandle")));
    if (Create == nullptr || Close == nullptr) {
        return ERROR_PROC_NOT_FOUND;
    }
    const HANDLE Handle = Create();
    if (Handle == INVALID_HANDLE_VALUE) {
        return ::GetLastError();
    }
    Close(Handle);
    return 0;
}

// Through the stand-in as through whatever socket the system itself gives: a reply from ::1
// where the ICMPv6 API works, and where it is a stub the API's own code at once, the send
// failing, never a wait that ends in a time-out.
TEST_F(WinIcmpApiEcho, AnIpv6PingRepliesOrEndsAtOnceInTheIcmpv6ApisOwnError) {
    const DWORD Refusal = Icmp6ApiRefusal();
    for (const bool Forced : {true, false}) {
        SCOPED_TRACE(Forced ? "raw socket refused" : "the system's own sockets");
        if (!Forced) {
            IdWinSock2::FinalizeSockets();
            IdWinSock2::SetLibraryLoader(&TLoaderSpy::Loader());
        }
        TIdIcmpClient Client;
        Client.SetHost("::1");
        Client.SetReceiveTimeout(3000);
        const uint32_t Start = IdPlatform::TickCount();
        const auto Error = CaughtBy<EIdSocketError>([&] { Client.PingOnce("", 5); });
        if (Refusal == 0 || (!Forced && !Error)) {
            ASSERT_FALSE(Error.has_value()) << Error->Message();
            EXPECT_EQ(Client.LastStatus().Kind, rkEchoReply);
            EXPECT_EQ(Client.LastStatus().SourceAddress, "::1");
            EXPECT_EQ(Client.LastStatus().Sequence, 5);
            continue;
        }
        ASSERT_TRUE(Error.has_value()) << "the ping ended without the API's error";
        EXPECT_EQ(Error->SocketErrorCode(), static_cast<int32_t>(Refusal));
        EXPECT_EQ(Error->Message(), "Socket Error # " + std::to_string(Refusal) + "\r\n");
        EXPECT_LT(IdPlatform::TickCount() - Start, 1000u) << "it waited for an answer";
        // The request never left: the next exchange keeps its sequence number.
        EXPECT_EQ(Client.SequenceNumber(), 5);
    }
    EXPECT_GE(TNoRawLoader::RawRefusals, 1) << "the raw socket was not what was refused";
}

TEST_F(WinIcmpApiEcho, BothWaysRefusedCannotAllocateASocket) {
    TNoRawLoader::AllRefused = true;
    for (const char* Host : {"127.0.0.1", "::1"}) {
        SCOPED_TRACE(Host);
        TIdIcmpClient Client;
        Client.SetHost(Host);
        Client.SetReceiveTimeout(500);
        const auto Error = CaughtBy<EIdInvalidSocket>([&] { Client.PingOnce(); });
        ASSERT_TRUE(Error.has_value());
        EXPECT_EQ(Error->Message(), "Cannot allocate socket.");
    }
}

// The socket library, except that a raw ICMPv6 socket is a UDP one over IPv6: it reads a
// datagram's payload alone, its sender beside it, as Windows' raw ICMPv6 socket reads a
// message. Wine's own socket server has no raw ICMPv6 to try the adapters on.
struct TUdpAsRaw6Loader {
    static inline IdPlatform::TEntry OwnSocket = nullptr;

    static SOCKET WSAAPI Socket(int AFamily, int AType, int AProtocol) {
        const auto Own = reinterpret_cast<SOCKET(WSAAPI*)(int, int, int)>(OwnSocket);
        if (AFamily == AF_INET6 && AType == SOCK_RAW && AProtocol == IPPROTO_ICMPV6) {
            return Own(AF_INET6, SOCK_DGRAM, IPPROTO_UDP);
        }
        return Own(AFamily, AType, AProtocol);
    }
    static IdPlatform::TEntry FindEntry(IdPlatform::TModule AModule, const char* AName) {
        const auto Entry = TLoaderSpy::FindEntry(AModule, AName);
        if (std::string(AName) != "socket" || Entry == nullptr) {
            return Entry;
        }
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

TEST_F(BindingTest, ARawIcmpv6SocketReadsEachMessageBehindItsIpv6Header) {
    IdWinSock2::SetLibraryLoader(&TUdpAsRaw6Loader::Loader());
    TIdStackWindows Stack;
    const auto Raw = Stack.NewSocket(Id_PF_INET6, Id_SOCK_RAW, Id_IPPROTO_ICMPV6);
    sockaddr_in6 Loopback{};
    Loopback.sin6_family = AF_INET6;
    Loopback.sin6_addr.s6_addr[15] = 1;
    int Length = sizeof Loopback;
    ASSERT_EQ(IdWinSock2::bind(Raw, reinterpret_cast<sockaddr*>(&Loopback), Length), 0);
    ASSERT_EQ(IdWinSock2::getsockname(Raw, reinterpret_cast<sockaddr*>(&Loopback), &Length), 0);
    const auto Peer = Stack.NewSocket(Id_PF_INET6, SOCK_DGRAM, IPPROTO_UDP);
    const int32_t Hops = 9;
    ASSERT_FALSE(Stack.CheckResult(
        Stack.ApiSetSockOpt(Peer, Id_IPPROTO_IPV6, Id_IPV6_UNICAST_HOPS, &Hops, sizeof Hops)));
    // An echo reply: identifier 0x1234 and sequence 7 as the client writes them, and data.
    const char Reply[] = {char(129), 0, 0, 0, 0x34, 0x12, 7, 0, 'v', 'e', 'x', 'l', 'o'};
    for (const bool WithSender : {false, true}) {
        SCOPED_TRACE(WithSender ? "recvfrom" : "recv");
        ASSERT_EQ(IdWinSock2::sendto(Peer, Reply, sizeof Reply, 0,
                                     reinterpret_cast<sockaddr*>(&Loopback), sizeof Loopback),
                  static_cast<int>(sizeof Reply));
        TIdSocketHandles Read{Raw};
        ASSERT_EQ(Stack.ApiSelect(&Read, nullptr, nullptr, 2000), 1);
        uint8_t Buffer[256];
        sockaddr_in6 Sender{};
        int SenderLength = sizeof Sender;
        const int Count =
            WithSender
                ? IdWinSock2::recvfrom(Raw, reinterpret_cast<char*>(Buffer), sizeof Buffer, 0,
                                       reinterpret_cast<sockaddr*>(&Sender), &SenderLength)
                : Stack.ApiRecv(Raw, Buffer, sizeof Buffer, 0);
        ASSERT_EQ(Count, static_cast<int>(40 + sizeof Reply));
        EXPECT_EQ(Buffer[0] >> 4, 6);
        EXPECT_EQ(Buffer[6], Id_IPPROTO_ICMPV6);
        const auto Decoded = DecodeEcho6Datagram({Buffer, static_cast<size_t>(Count)}, 0x1234, 7);
        EXPECT_EQ(Decoded.Decision, TReplyDecision::Accepted);
        EXPECT_EQ(Decoded.Status.Kind, rkEchoReply);
        EXPECT_EQ(Decoded.Status.SourceAddress, "::1");
        EXPECT_EQ(Decoded.Status.Ttl, Hops) << "the hop limit from WSARecvMsg";
        if (WithSender) {
            EXPECT_EQ(SenderLength, static_cast<int>(sizeof Sender));
            EXPECT_EQ(Sender.sin6_family, AF_INET6);
            EXPECT_EQ(std::memcmp(&Sender.sin6_addr, &Loopback.sin6_addr, 16), 0);
        }
    }
    EXPECT_EQ(Stack.ApiCloseSocket(Peer), 0);
    EXPECT_EQ(Stack.ApiCloseSocket(Raw), 0);
}

} // namespace
