// Real ICMP exchanges with hosts and routers in network namespaces built by lab.sh.
// The test process itself steps into the lab's client namespace around each ping
// (setns on this thread), so the client under test runs exactly as in the program.
#include "tests/netlab/NetlabHarness.h"

#include "net/IdException.h"
#include "net/IdGlobal.h"
#include "net/IdIcmpClient.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <string>
#include <sys/time.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace netlab;
using namespace std::chrono_literals;

TEST_P(NetlabTest, LiveHostAnswersEachRequestWithItsSequence) {
    TIdIcmpClient Client;
    for (uint16_t Sequence : {3489, 3490}) {
        const TPingResult R = Ping(Client, Map().LiveHost, 1000);
        EXPECT_EQ(R.Exception, "");
        EXPECT_EQ(R.Replies, 1);
        EXPECT_EQ(R.Status.Kind, rkEchoReply);
        EXPECT_EQ(R.Status.IcmpType, Map().EchoReplyType);
        EXPECT_EQ(R.Status.SourceAddress, Map().LiveHost);
        EXPECT_EQ(R.Status.Sequence, Sequence);
        // The host sends with 64 and r1 takes one off on the way, of the TTL or hop limit.
        EXPECT_EQ(R.Status.Ttl, 63);
        EXPECT_EQ(R.Status.ByteCount, Map().EchoBytes);
        EXPECT_LT(R.Status.RoundTripMs, 500u);
    }
    EXPECT_EQ(Client.SequenceNumber(), 3491);
}

// A silent host, and for IPv6 an address on r1's link where no host is: r1 tries neighbour
// discovery for three seconds before it answers "address unreachable", long after our wait.
TEST_P(NetlabTest, SilentHostTimesOutAfterReceiveTimeout) {
    const struct {
        std::string Host;
        int TimeoutMs;
    } Cases[] = {{Map().QuietHost, 600}, {Map().AbsentNeighbour, 1000}};
    uint16_t Sequence = 777;
    for (const auto& C : Cases) {
        if (C.Host.empty()) {
            continue;
        }
        SCOPED_TRACE(C.Host);
        TIdIcmpClient Client;
        ExpectTimedOut(Ping(Client, C.Host, C.TimeoutMs, Sequence), Sequence, C.TimeoutMs);
        EXPECT_EQ(Client.SequenceNumber(), Sequence + 1);
        ++Sequence;
    }
}

// nft's reject goes out through icmp_send(), which icmp_ratemask=0 leaves unlimited: every
// one of a quick series is answered. So does IPv6's no route, with its ratemask emptied.
TEST_P(NetlabTest, RouterRejectIsUnreachableEveryTime) {
    for (const std::string& Host : {Map().RejectedHost, Map().NoRouteHost}) {
        if (!Host.empty()) {
            SCOPED_TRACE(Host);
            ExpectErrorMessages(Host, 8, rkUnreachable, Map().UnreachableType, Map().RouterToClient,
                                64);
        }
    }
}

// The request leaves with TTL (or hop limit) 128 and reaches r2 with an odd one each round, so
// it runs out at r2, whose message then passes r1 (one off its 64).
TEST_P(NetlabTest, RoutingLoopEndsInTimeExceededFromTheRouter) {
    ExpectErrorMessages(Map().LoopHost, 3, rkTtlExpired, Map().TimeExceededType,
                        Map().RouterTwoToRouterOne, 63);
}

// A redirect for IPv4; for IPv6, whose redirect answers nothing of ours, a parameter problem
// quoting the request (an unknown option), which no router of the lab makes by itself.
TEST_P(NetlabTest, CraftedErrorOfNoEchoKindRaisesNonEchoType) {
    auto Responder = StartTool("craft", {"respond", Map().NonEchoMode});
    ASSERT_TRUE(Responder);
    TIdIcmpClient Client;
    const TPingResult R = Ping(Client, Map().CraftHost, 1000);
    EXPECT_EQ(R.Exception, "Non-echo type response received");
    EXPECT_EQ(R.Replies, 0);
    EXPECT_EQ(Responder->ReadLine(2s), std::string("sent ") + Map().NonEchoMode);
}

// The failed exchange's own reply comes 300 ms after the error, while the next exchange
// already waits; it answers the earlier request and must not end the later one.
TEST_P(NetlabTest, LateAnswerToFailedExchangeIsNotTakenByTheNext) {
    auto Responder = StartTool("craft", {"respond", Map().NonEchoMode + std::string("-then-echo")});
    ASSERT_TRUE(Responder);
    TIdIcmpClient Client;
    const TPingResult Failed = Ping(Client, Map().CraftHost, 1000);
    ASSERT_EQ(Failed.Exception, "Non-echo type response received");
    const uint16_t Next = Client.SequenceNumber();
    const TPingResult R = Ping(Client, Map().QuietHost, 1000);
    ExpectTimedOut(R, Next, 1000);
    EXPECT_EQ(Responder->ReadLine(2s), std::string("sent ") + Map().NonEchoMode);
    EXPECT_EQ(Responder->ReadLine(2s), "sent echo") << "the late reply was never sent";
}

TEST_P(NetlabTest, EchoReplyWithAnotherIdentifierIsNotOurs) {
    struct {
        const char* Mode;
        bool TrueReplyFollows;
    } const Cases[] = {{"wrong-id", false}, {"wrong-id-then-echo", true}};
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Mode);
        auto Responder = StartTool("craft", {"respond", Case.Mode});
        ASSERT_TRUE(Responder);
        TIdIcmpClient Client;
        const uint16_t Sequence = Client.SequenceNumber();
        const TPingResult R = Ping(Client, Map().CraftHost, 700);
        EXPECT_EQ(Responder->ReadLine(2s), "sent wrong-id");
        if (Case.TrueReplyFollows) {
            EXPECT_EQ(R.Exception, "");
            EXPECT_EQ(R.Status.Kind, rkEchoReply);
            EXPECT_EQ(R.Status.IcmpType, Map().EchoReplyType);
            EXPECT_EQ(R.Status.SourceAddress, Map().CraftHost);
            EXPECT_EQ(R.Status.Sequence, Sequence);
            EXPECT_LT(R.Status.RoundTripMs, 600u);
        } else {
            ExpectTimedOut(R, Sequence, 700);
        }
    }
}

// Every raw ICMP socket of the namespace sees every reply. Another process pings the live
// host with our sequence number under identifiers that differ from ours in one byte each,
// while we wait on the silent host: none of its replies may end our wait.
TEST_P(NetlabTest, ConcurrentPingersRepliesAreNotOurs) {
    const uint16_t Sequence = 4242;
    const uint16_t Ours = static_cast<uint16_t>(IdProcessId());
    auto Pinger = StartTool("cli", {"ping", Map().LiveHost, std::to_string(Sequence),
                                    std::to_string(Ours ^ 0x0001), std::to_string(Ours ^ 0x0100)});
    ASSERT_TRUE(Pinger);
    TIdIcmpClient Client;
    ExpectTimedOut(Ping(Client, Map().QuietHost, 800, Sequence), Sequence, 800);
    ASSERT_EQ(Pinger->Wait(5s).value_or(-1), 0) << Pinger->Output();
    const std::string Summary = Pinger->ReadLine(1s);
    int Sent = 0;
    int Replies = 0;
    ASSERT_EQ(std::sscanf(Summary.c_str(), "sent %d replies %d", &Sent, &Replies), 2) << Summary;
    EXPECT_GT(Replies, 10) << "the other pinger got too few replies to prove anything";
}

// Where ping_group_range admits no group, only the raw socket can ping: an ordinary user gets
// the raw socket's refusal, as before datagram sockets stood in for it.
TEST_P(NetlabTest, WithThePingGroupRangeClosedOnlyTheRawSocketPings) {
    std::string Output;
    ASSERT_EQ(RunLab("ping-group", Output, "1 0"), 0) << Output;
    TIdIcmpClient Client;
    const TPingResult R = Ping(Client, Map().LiveHost, 1000);
    if (FMode != TMode::Datagram) {
        EXPECT_EQ(R.Exception, "");
        EXPECT_EQ(R.Status.Kind, rkEchoReply);
        EXPECT_EQ(Client.SequenceNumber(), 3490);
    } else {
        EXPECT_EQ(R.Exception, "Cannot allocate socket.");
        EXPECT_EQ(R.Replies, 0);
        EXPECT_EQ(Client.SequenceNumber(), 3489);
    }
}

// SIGALRM every 100 ms while the object lives, its handler installed with or without
// SA_RESTART (poll() is never restarted either way); the old handler and timer come back.
class TIntervalTimer {
  public:
    explicit TIntervalTimer(bool ARestart) {
        Fired = 0;
        struct sigaction Action {};
        Action.sa_handler = [](int) { Fired = Fired + 1; };
        sigemptyset(&Action.sa_mask);
        Action.sa_flags = ARestart ? SA_RESTART : 0;
        sigaction(SIGALRM, &Action, &FOldAction);
        const itimerval Every{{0, 100000}, {0, 100000}};
        setitimer(ITIMER_REAL, &Every, &FOldTimer);
    }
    TIntervalTimer(const TIntervalTimer&) = delete;
    TIntervalTimer& operator=(const TIntervalTimer&) = delete;
    ~TIntervalTimer() {
        setitimer(ITIMER_REAL, &FOldTimer, nullptr);
        sigaction(SIGALRM, &FOldAction, nullptr);
    }

    static inline volatile sig_atomic_t Fired = 0;

  private:
    struct sigaction FOldAction {};
    itimerval FOldTimer{};
};

// A signal handled while the exchange waits must neither end the wait early nor cost the
// reply: the silent host's wait lasts the whole second, and the reply the responder holds
// back for 500 ms is still taken.
TEST_P(NetlabTest, SignalsDuringTheWaitNeitherShortenItNorLoseTheReply) {
    auto Responder = StartTool("craft", {"respond", "delayed-echo"});
    ASSERT_TRUE(Responder);
    for (const bool Restart : {false, true}) {
        for (const bool Silent : {true, false}) {
            SCOPED_TRACE(std::string(Restart ? "SA_RESTART, " : "no SA_RESTART, ") +
                         (Silent ? "silent host" : "reply at 500 ms"));
            TIdIcmpClient Client;
            const auto Start = std::chrono::steady_clock::now();
            TPingResult R;
            int Signals = 0;
            {
                TIntervalTimer Timer(Restart);
                R = Ping(Client, Silent ? Map().QuietHost : Map().CraftHost, 1000);
                Signals = TIntervalTimer::Fired;
            }
            const auto Waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now() - Start)
                                    .count();
            std::printf("signals every 100 ms (%s), %s: kind %d, round trip %u ms, waited %lld "
                        "ms, %d signals handled\n",
                        Restart ? "SA_RESTART" : "no SA_RESTART",
                        Silent ? "silent host" : "reply held back 500 ms", R.Status.Kind,
                        R.Status.RoundTripMs, static_cast<long long>(Waited), Signals);
            EXPECT_EQ(R.Exception, "");
            EXPECT_EQ(R.Replies, 1);
            if (Silent) {
                EXPECT_EQ(R.Status.Kind, rkTimedOut);
                EXPECT_NEAR(R.Status.RoundTripMs, 1000, 50);
                EXPECT_NEAR(Waited, 1000, 50);
                EXPECT_GE(Signals, 9) << "the wait was never interrupted";
            } else {
                EXPECT_EQ(R.Status.Kind, rkEchoReply);
                EXPECT_EQ(R.Status.SourceAddress, Map().CraftHost);
                EXPECT_NEAR(R.Status.RoundTripMs, 525, 50);
                EXPECT_GE(Signals, 4) << "the wait was never interrupted";
                EXPECT_EQ(Responder->ReadLine(2s), "sent echo");
            }
        }
    }
}
INSTANTIATE_TEST_SUITE_P(Sockets, NetlabTest, EveryFamilyAndMode(), LabName);

// A fresh namespace of its own needs no lab.
class NetlabLoopbackTest : public ::testing::TestWithParam<std::tuple<const char*, TFamily>> {
  protected:
    void SetUp() override {
        const std::string Skip = MissingPrerequisite();
        if (!Skip.empty()) {
            GTEST_SKIP() << Skip;
        }
    }
};

// On loopback the raw IPv4 socket, and the helper that keeps one, receive our own outgoing
// request before the kernel's reply; it carries our sequence and the TTL we set, and it is
// accepted first. The datagram socket is never handed our own request: it reads the kernel's
// reply, with the kernel's TTL; the sizes and the source are as on the raw socket. ICMPv6 sets
// our own request apart by its type, so every socket takes the kernel's reply.
TEST_P(NetlabLoopbackTest, EachSocketTakesTheFirstAnswerItIsHanded) {
    const auto [Host, Family] = GetParam();
    const bool Six = Family == TFamily::V6;
    const struct {
        TMode Mode;
        uint8_t Type, Ttl;
    } Cases[] = {{TMode::Raw, uint8_t(Six ? 129 : 8), uint8_t(Six ? 64 : 128)},
                 {TMode::Datagram, uint8_t(Six ? 129 : 0), 64},
                 {TMode::Helper, uint8_t(Six ? 129 : 8), uint8_t(Six ? 64 : 128)}};
    for (const auto& C : Cases) {
        SCOPED_TRACE(ModeName({C.Mode, 0}));
        ASSERT_TRUE(UseHelper(C.Mode, nullptr));
        TIdIcmpClient Client;
        const TPingResult R = PingVia(C.Mode, Client, nullptr, Host, 1000, 31000);
        ASSERT_EQ(R.ScopeError, "");
        EXPECT_EQ(R.Exception, "");
        EXPECT_EQ(R.Replies, 1);
        EXPECT_EQ(R.Status.Kind, rkEchoReply);
        EXPECT_EQ(R.Status.IcmpType, C.Type);
        EXPECT_EQ(R.Status.SourceAddress, Six ? "::1" : "127.0.0.1");
        EXPECT_EQ(R.Status.Sequence, 31000);
        EXPECT_EQ(R.Status.Ttl, C.Ttl);
        EXPECT_EQ(R.Status.ByteCount, LabMap(Family).EchoBytes);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, NetlabLoopbackTest,
    ::testing::Values(std::tuple("127.0.0.1", TFamily::V4), std::tuple("localhost", TFamily::V4),
                      std::tuple("::1", TFamily::V6)),
    [](const auto& AInfo) {
        return std::string(AInfo.index == 0 ? "Address" : AInfo.index == 1 ? "Name" : "Address6");
    });

} // namespace
