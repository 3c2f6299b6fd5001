// Real ICMP exchanges with hosts and routers in network namespaces built by lab.sh.
// The test process itself steps into the lab's client namespace around each ping
// (setns on this thread), so the client under test runs exactly as in the program.
#include "tests/support/NetLab.h"
#include "net/IdException.h"
#include "net/IdGlobal.h"
#include "net/IdIcmpClient.h"
#include "net/IdStackWindows.h"
#include "tests/support/BuildPaths.h"
#include "tests/support/Process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <linux/capability.h>
#include <memory>
#include <mutex>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using namespace std::chrono_literals;

const std::string LabDir = buildpaths::NetlabDir;
const char* const ClientNamespace = "/run/netns/vxl-cli";

// Addresses inside the lab (lab.sh draws the map).
const std::string RouterToClient = "198.51.100.1";
const std::string RouterTwoToRouterOne = "198.51.100.6";
const std::string LiveHost = "203.0.113.2";
const std::string QuietHost = "203.0.113.6";
const std::string CraftHost = "203.0.113.10";
const std::string RejectedHost = "203.0.113.66";
const std::string LoopHost = "203.0.113.130";
const std::string ClientAddress = "198.51.100.2";

constexpr int EchoDatagramBytes = 20 + 52;
// Outer header, ICMP header, then our whole datagram: the kernel quotes up to 576 bytes.
constexpr int ErrorDatagramBytes = 20 + 8 + EchoDatagramBytes;

// Brings lo up in the thread's network namespace; empty, or what failed.
std::string BringLoopbackUp() {
    std::string Error;
    const int Socket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq Request{};
    std::strcpy(Request.ifr_name, "lo");
    if (Socket < 0 || ioctl(Socket, SIOCGIFFLAGS, &Request) != 0) {
        Error = std::string("lo flags: ") + std::strerror(errno);
    } else {
        Request.ifr_flags = static_cast<short>(Request.ifr_flags | IFF_UP);
        if (ioctl(Socket, SIOCSIFFLAGS, &Request) != 0) {
            Error = std::string("lo up: ") + std::strerror(errno);
        }
    }
    if (Socket >= 0) {
        close(Socket);
    }
    return Error;
}

// The thread's network namespace for the lifetime of the object; the original comes back
// on destruction. Without it every later step (lab teardown included) would act in the
// wrong namespace, so a failure to return aborts.
class TNamespaceScope {
  public:
    // Null: a fresh, empty namespace with only lo, brought up here.
    explicit TNamespaceScope(const char* APath) {
        FOriginal = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        if (FOriginal < 0) {
            FError = std::string("open own netns: ") + std::strerror(errno);
            return;
        }
        if (APath == nullptr) {
            if (unshare(CLONE_NEWNET) != 0) {
                FError = std::string("unshare: ") + std::strerror(errno);
                return;
            }
            FEntered = true;
            FError = BringLoopbackUp();
            return;
        }
        const int Target = open(APath, O_RDONLY | O_CLOEXEC);
        if (Target < 0) {
            FError = std::string("open ") + APath + ": " + std::strerror(errno);
            return;
        }
        if (setns(Target, CLONE_NEWNET) == 0) {
            FEntered = true;
        } else {
            FError = std::string("setns ") + APath + ": " + std::strerror(errno);
        }
        close(Target);
    }
    TNamespaceScope(const TNamespaceScope&) = delete;
    TNamespaceScope& operator=(const TNamespaceScope&) = delete;
    ~TNamespaceScope() {
        if (FEntered && setns(FOriginal, CLONE_NEWNET) != 0) {
            std::fprintf(stderr, "netlab: cannot return to the original netns: %s\n",
                         std::strerror(errno));
            std::abort();
        }
        if (FOriginal >= 0) {
            close(FOriginal);
        }
    }

    const std::string& Error() const { return FError; }

  private:
    int FOriginal = -1;
    bool FEntered = false;
    std::string FError;
};

// The ping_group_range that admits AUser's group and no other.
std::string GroupRange(const TUser& AUser) {
    return std::to_string(AUser.Gid) + " " + std::to_string(AUser.Gid);
}

// A thread that runs work as a user without privilege runs the program: in the given network
// namespace (null: a fresh one with lo up and ping sockets open to nobody's group), as nobody,
// with no capability at all. The kernel keeps credentials per thread, and the raw system
// calls change this thread's alone (glibc's wrappers would change every thread's), so the
// rest of the test process stays root and runs the lab around it, in the same process, with
// the same process id as the identifier.
class TUserThread {
  public:
    explicit TUserThread(const char* ANamespace) {
        FThread = std::thread([this, ANamespace] { Main(ANamespace); });
        std::unique_lock Hold(FLock);
        FChanged.wait(Hold, [this] { return FReady; });
    }
    TUserThread(const TUserThread&) = delete;
    TUserThread& operator=(const TUserThread&) = delete;
    ~TUserThread() {
        {
            const std::lock_guard Hold(FLock);
            FQuit = true;
        }
        FChanged.notify_all();
        FThread.join();
    }

    // Empty once the thread runs as nobody without any capability; else what failed.
    const std::string& Error() const { return FError; }

    // Runs AWork on the thread and returns when it is done, raising what it raised. Meanwhile
    // the calling thread blocks signals, so that one sent to the process lands on the
    // thread doing the work, as it lands on the program's only thread.
    void Run(std::function<void()> AWork) {
        sigset_t All;
        sigset_t Before;
        sigfillset(&All);
        pthread_sigmask(SIG_BLOCK, &All, &Before);
        std::exception_ptr Raised;
        {
            std::unique_lock Hold(FLock);
            FWork = std::move(AWork);
            FChanged.notify_all();
            FChanged.wait(Hold, [this] { return !FWork; });
            Raised = std::exchange(FRaised, nullptr);
        }
        pthread_sigmask(SIG_SETMASK, &Before, nullptr);
        if (Raised) {
            std::rethrow_exception(Raised);
        }
    }

  private:
    static std::string Enter(const char* ANamespace) {
        if (ANamespace == nullptr) {
            if (unshare(CLONE_NEWNET) != 0) {
                return std::string("unshare: ") + std::strerror(errno);
            }
            std::string Error = BringLoopbackUp();
            // /proc/sys/net shows the namespace of the thread that opens it.
            std::ofstream Range("/proc/sys/net/ipv4/ping_group_range");
            Range << GroupRange(Nobody()) << std::endl;
            return Error.empty() && !Range ? "cannot set ping_group_range" : Error;
        }
        const int Target = open(ANamespace, O_RDONLY | O_CLOEXEC);
        const bool Entered = Target >= 0 && setns(Target, CLONE_NEWNET) == 0;
        const std::string Why = std::strerror(errno);
        if (Target >= 0) {
            close(Target);
        }
        return Entered ? std::string() : "enter " + std::string(ANamespace) + ": " + Why;
    }

    static std::string Become(const char* ANamespace) {
        const std::string Error = Enter(ANamespace);
        if (!Error.empty()) {
            return Error;
        }
        const TUser N = Nobody();
        // Leaving root for good clears every capability set of the thread.
        if (syscall(SYS_setgroups, 0, nullptr) != 0 ||
            syscall(SYS_setresgid, N.Gid, N.Gid, N.Gid) != 0 ||
            syscall(SYS_setresuid, N.Uid, N.Uid, N.Uid) != 0) {
            return std::string("becoming nobody: ") + std::strerror(errno);
        }
        __user_cap_header_struct Header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct Data[2]{};
        if (syscall(SYS_capget, &Header, Data) != 0) {
            return std::string("capget: ") + std::strerror(errno);
        }
        for (const auto& D : Data) {
            if (D.effective != 0 || D.permitted != 0 || D.inheritable != 0) {
                return "a capability is left";
            }
        }
        return {};
    }

    void Main(const char* ANamespace) {
        std::string Error = Become(ANamespace);
        std::unique_lock Hold(FLock);
        FError = std::move(Error);
        FReady = true;
        FChanged.notify_all();
        for (;;) {
            FChanged.wait(Hold, [this] { return FQuit || FWork; });
            if (!FWork) {
                return;
            }
            Hold.unlock();
            std::exception_ptr Raised;
            try {
                FWork();
            } catch (...) {
                Raised = std::current_exception();
            }
            Hold.lock();
            FRaised = Raised;
            FWork = nullptr;
            FChanged.notify_all();
        }
    }

    std::mutex FLock;
    std::condition_variable FChanged;
    std::function<void()> FWork;
    std::exception_ptr FRaised;
    bool FReady = false;
    bool FQuit = false;
    std::string FError;
    std::thread FThread;
};

std::string MissingPrerequisite() {
    if (geteuid() != 0) {
        return "netlab tests need root (they build network namespaces and use raw sockets)";
    }
    for (const char* Tool : {"ip", "nft", "python3", "bash", "flock"}) {
        if (FindInPath(Tool).empty()) {
            return std::string("netlab tests need '") + Tool + "' in PATH";
        }
    }
    return {};
}

// Route lookup only: a UDP connect() sends nothing. EACCES is the 'prohibit' guard.
bool MainNamespaceProhibits(const std::string& AAddress) {
    const int Socket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in Target{};
    Target.sin_family = AF_INET;
    Target.sin_port = htons(9);
    inet_pton(AF_INET, AAddress.c_str(), &Target.sin_addr);
    const bool Refused =
        connect(Socket, reinterpret_cast<sockaddr*>(&Target), sizeof Target) != 0 &&
        errno == EACCES;
    close(Socket);
    return Refused;
}

struct TPingResult {
    TReplyStatus Status;
    int Replies = 0;        // OnReply calls
    std::string Exception;  // Message() of what PingOnce raised, if anything
    std::string ScopeError; // the namespace could not be entered
};

// One PingOnce in the calling thread's namespace.
TPingResult PingHere(TIdIcmpClient& AClient, const std::string& AHost, int ATimeoutMs,
                     uint16_t ASequence) {
    TPingResult Result;
    AClient.OnReply = [&Result](TIdBaseComponent&, const TReplyStatus& AStatus) {
        ++Result.Replies;
        Result.Status = AStatus;
    };
    AClient.SetHost(AHost);
    AClient.SetReceiveTimeout(ATimeoutMs);
    try {
        AClient.PingOnce("  ", ASequence);
        Result.Status = AClient.LastStatus();
    } catch (const Exception& E) {
        Result.Exception = E.Message();
    }
    return Result;
}

// One PingOnce from inside the namespace at ANamespace (null: a fresh one).
TPingResult PingFrom(TIdIcmpClient& AClient, const char* ANamespace, const std::string& AHost,
                     int ATimeoutMs, uint16_t ASequence = 0) {
    TNamespaceScope Scope(ANamespace);
    if (!Scope.Error().empty()) {
        TPingResult Result;
        Result.ScopeError = Scope.Error();
        return Result;
    }
    return PingHere(AClient, AHost, ATimeoutMs, ASequence);
}

// The same, as an ordinary user without any capability: through the ICMP datagram socket.
TPingResult PingAsUserFrom(TIdIcmpClient& AClient, const char* ANamespace, const std::string& AHost,
                           int ATimeoutMs, uint16_t ASequence = 0) {
    TUserThread User(ANamespace);
    TPingResult Result;
    if (!User.Error().empty()) {
        Result.ScopeError = User.Error();
        return Result;
    }
    User.Run([&] { Result = PingHere(AClient, AHost, ATimeoutMs, ASequence); });
    return Result;
}

// How the exchanges reach ICMP: as root through the raw socket, or as an ordinary user
// through the datagram socket that stands in for it.
enum class TMode { Raw, Datagram };

std::string ModeName(const ::testing::TestParamInfo<TMode>& AInfo) {
    return AInfo.param == TMode::Raw ? "RawSocket" : "DatagramSocket";
}

class NetlabTest : public ::testing::TestWithParam<TMode> {
  protected:
    static void SetUpTestSuite() {
        FSkip = MissingPrerequisite();
        if (!FSkip.empty()) {
            return;
        }
        FLabError = FLab.Acquire();
        if (!FLabError.empty()) {
            return;
        }
        // The one switch a test turns, left on should a process before this one have crashed
        // in the middle.
        std::string Output;
        if (!FLab.BuiltItsOwn() && RunLab("silence", Output, "off") != 0) {
            FLabError = "lab.sh silence off failed: " + Output;
            return;
        }
        for (const std::string& Address : {LiveHost, std::string("198.51.100.2")}) {
            if (!MainNamespaceProhibits(Address)) {
                FLabError = "the main namespace's guard route for " + Address + " is missing";
                return;
            }
        }
        FLabUp = true;
    }

    static void TearDownTestSuite() {
        if (FLab.BuiltItsOwn()) {
            const TRunResult Down = FLab.Release();
            EXPECT_EQ(Down.Code, 0) << "lab.sh down: " << Down.Output;
            std::error_code Ignored;
            for (const auto& Entry : std::filesystem::directory_iterator("/run/netns", Ignored)) {
                EXPECT_NE(Entry.path().filename().string().rfind("vxl-", 0), 0u)
                    << "left behind: " << Entry.path();
            }
            const TRunResult Routes = ::Run({"ip", "-4", "route", "show", "proto", "251"});
            EXPECT_EQ(Routes.Code, 0);
            EXPECT_EQ(Routes.Output, "") << "guard routes left behind";
        }
        FLab.Release();
        FLabUp = false;
    }

    void SetUp() override {
        if (!FSkip.empty()) {
            GTEST_SKIP() << FSkip;
        }
        ASSERT_TRUE(FLabUp) << FLabError;
        FMode = Mode();
        // Closed for the raw socket's runs, so that nothing but the raw socket can answer.
        std::string Output;
        ASSERT_EQ(
            RunLab("ping-group", Output, FMode == TMode::Datagram ? GroupRange(Nobody()) : "1 0"),
            0)
            << Output;
    }

    virtual TMode Mode() const { return GetParam(); }

    static int RunLab(const std::string& AVerb, std::string& AOutput,
                      const std::string& AArgument = {}) {
        const TRunResult Lab = FLab.Run(AVerb, AArgument);
        AOutput = Lab.Output;
        return Lab.Code;
    }

    // icmptool.py in a lab namespace, running once it has said "ready".
    static std::unique_ptr<TProcess> StartTool(const std::string& ANamespace,
                                               const std::vector<std::string>& AArgs,
                                               int ALifetimeSeconds = 20) {
        std::vector<std::string> Args{"ip",
                                      "netns",
                                      "exec",
                                      "vxl-" + ANamespace,
                                      FindInPath("python3"),
                                      LabDir + "/icmptool.py"};
        Args.insert(Args.end(), AArgs.begin(), AArgs.end());
        TProcessOptions Options;
        Options.Environment = {"LIFETIME=" + std::to_string(ALifetimeSeconds)};
        auto Tool = std::make_unique<TProcess>(Args, Options);
        const std::string Line = Tool->ReadLine(10s);
        EXPECT_EQ(Line, "ready") << Tool->Output();
        return Line == "ready" ? std::move(Tool) : nullptr;
    }

    static TPingResult Ping(TIdIcmpClient& AClient, const std::string& AHost, int ATimeoutMs,
                            uint16_t ASequence = 0) {
        TPingResult Result =
            FMode == TMode::Raw
                ? PingFrom(AClient, ClientNamespace, AHost, ATimeoutMs, ASequence)
                : PingAsUserFrom(AClient, ClientNamespace, AHost, ATimeoutMs, ASequence);
        EXPECT_EQ(Result.ScopeError, "");
        return Result;
    }

    // A router's error message quoting each of ARounds requests in a row.
    static void ExpectErrorMessages(const std::string& AHost, int ARounds, TReplyKind AKind,
                                    uint8_t AType, const std::string& ASource, uint8_t ATtl) {
        TIdIcmpClient Client;
        for (int I = 0; I < ARounds; ++I) {
            const uint16_t Sequence = Client.SequenceNumber();
            const TPingResult R = Ping(Client, AHost, 1000);
            EXPECT_EQ(R.Exception, "") << "#" << I;
            EXPECT_EQ(R.Status.Kind, AKind) << "#" << I;
            EXPECT_EQ(R.Status.IcmpType, AType);
            EXPECT_EQ(R.Status.SourceAddress, ASource);
            EXPECT_EQ(R.Status.Sequence, Sequence);
            EXPECT_EQ(R.Status.Ttl, ATtl);
            EXPECT_EQ(R.Status.ByteCount, ErrorDatagramBytes);
            EXPECT_LT(R.Status.RoundTripMs, 500u);
        }
    }

    static inline TMode FMode = TMode::Raw;
    static inline std::string FSkip;
    static inline std::string FLabError;
    static inline TNetLab FLab{LabDir + "/lab.sh"};
    static inline bool FLabUp = false;
};

void ExpectTimedOut(const TPingResult& AResult, uint16_t ASequence, int ATimeoutMs) {
    EXPECT_EQ(AResult.Exception, "");
    EXPECT_EQ(AResult.Replies, 1);
    EXPECT_EQ(AResult.Status.Kind, rkTimedOut);
    EXPECT_EQ(AResult.Status.ByteCount, 0);
    EXPECT_EQ(AResult.Status.SourceAddress, "0.0.0.0");
    EXPECT_EQ(AResult.Status.IcmpType, 0);
    EXPECT_EQ(AResult.Status.Ttl, 0);
    EXPECT_EQ(AResult.Status.Sequence, ASequence);
    EXPECT_GE(AResult.Status.RoundTripMs, static_cast<uint32_t>(ATimeoutMs - 20));
    EXPECT_LT(AResult.Status.RoundTripMs, static_cast<uint32_t>(ATimeoutMs + 1500));
}

TEST_P(NetlabTest, LiveHostAnswersEachRequestWithItsSequence) {
    TIdIcmpClient Client;
    for (uint16_t Sequence : {3489, 3490}) {
        const TPingResult R = Ping(Client, LiveHost, 1000);
        EXPECT_EQ(R.Exception, "");
        EXPECT_EQ(R.Replies, 1);
        EXPECT_EQ(R.Status.Kind, rkEchoReply);
        EXPECT_EQ(R.Status.IcmpType, 0);
        EXPECT_EQ(R.Status.SourceAddress, LiveHost);
        EXPECT_EQ(R.Status.Sequence, Sequence);
        // The host sends with 64 and r1 takes one off on the way.
        EXPECT_EQ(R.Status.Ttl, 63);
        EXPECT_EQ(R.Status.ByteCount, EchoDatagramBytes);
        EXPECT_LT(R.Status.RoundTripMs, 500u);
    }
    EXPECT_EQ(Client.SequenceNumber(), 3491);
}

TEST_P(NetlabTest, SilentHostTimesOutAfterReceiveTimeout) {
    TIdIcmpClient Client;
    ExpectTimedOut(Ping(Client, QuietHost, 600, 777), 777, 600);
    EXPECT_EQ(Client.SequenceNumber(), 778);
}

// nft's reject goes out through icmp_send(), which icmp_ratemask=0 leaves unlimited: every
// one of a quick series is answered.
TEST_P(NetlabTest, RouterRejectIsUnreachableEveryTime) {
    ExpectErrorMessages(RejectedHost, 8, rkUnreachable, 3, RouterToClient, 64);
}

// The request leaves with TTL 128 and reaches r2 with an odd TTL each round, so its TTL runs
// out at r2, whose message then passes r1 (one off its 64).
TEST_P(NetlabTest, RoutingLoopEndsInTimeExceededFromTheRouter) {
    ExpectErrorMessages(LoopHost, 3, rkTtlExpired, 11, RouterTwoToRouterOne, 63);
}

TEST_P(NetlabTest, CraftedRedirectRaisesNonEchoType) {
    auto Responder = StartTool("craft", {"respond", "redirect"});
    ASSERT_TRUE(Responder);
    TIdIcmpClient Client;
    const TPingResult R = Ping(Client, CraftHost, 1000);
    EXPECT_EQ(R.Exception, "Non-echo type response received");
    EXPECT_EQ(R.Replies, 0);
    EXPECT_EQ(Responder->ReadLine(2s), "sent redirect");
}

// The failed exchange's own reply comes 300 ms after the redirect, while the next exchange
// already waits; it answers the earlier request and must not end the later one.
TEST_P(NetlabTest, LateAnswerToFailedExchangeIsNotTakenByTheNext) {
    auto Responder = StartTool("craft", {"respond", "redirect-then-echo"});
    ASSERT_TRUE(Responder);
    TIdIcmpClient Client;
    const TPingResult Failed = Ping(Client, CraftHost, 1000);
    ASSERT_EQ(Failed.Exception, "Non-echo type response received");
    const uint16_t Next = Client.SequenceNumber();
    const TPingResult R = Ping(Client, QuietHost, 1000);
    ExpectTimedOut(R, Next, 1000);
    EXPECT_EQ(Responder->ReadLine(2s), "sent redirect");
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
        const TPingResult R = Ping(Client, CraftHost, 700);
        EXPECT_EQ(Responder->ReadLine(2s), "sent wrong-id");
        if (Case.TrueReplyFollows) {
            EXPECT_EQ(R.Exception, "");
            EXPECT_EQ(R.Status.Kind, rkEchoReply);
            EXPECT_EQ(R.Status.IcmpType, 0);
            EXPECT_EQ(R.Status.SourceAddress, CraftHost);
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
    auto Pinger = StartTool("cli", {"ping", LiveHost, std::to_string(Sequence),
                                    std::to_string(Ours ^ 0x0001), std::to_string(Ours ^ 0x0100)});
    ASSERT_TRUE(Pinger);
    TIdIcmpClient Client;
    ExpectTimedOut(Ping(Client, QuietHost, 800, Sequence), Sequence, 800);
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
    const TPingResult R = Ping(Client, LiveHost, 1000);
    if (FMode == TMode::Raw) {
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
                R = Ping(Client, Silent ? QuietHost : CraftHost, 1000);
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
                EXPECT_EQ(R.Status.SourceAddress, CraftHost);
                EXPECT_NEAR(R.Status.RoundTripMs, 525, 50);
                EXPECT_GE(Signals, 4) << "the wait was never interrupted";
                EXPECT_EQ(Responder->ReadLine(2s), "sent echo");
            }
        }
    }
}

// The soak's exchanges use this many sequence numbers in turn, and the noise carries each
// of them: a client that matched on the sequence alone would take noise for replies.
constexpr int SoakWindow = 8;
constexpr int NoiseRate = 1000;

// The real stack, counting what the client reads: every datagram past the replies taken
// is noise it had to reject.
class TCountingStack : public TIdStackWindows {
  public:
    static inline int Reads = 0;
    int ApiRecv(TIdStackSocketHandle ASocket, void* ABuffer, int ALength, int AFlags) override {
        ++Reads;
        return TIdStackWindows::ApiRecv(ASocket, ABuffer, ALength, AFlags);
    }
};

int OpenDescriptors() {
    int Count = 0;
    for ([[maybe_unused]] const auto& Entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++Count;
    }
    return Count;
}

long ResidentKiB() {
    std::ifstream Status("/proc/self/status");
    for (std::string Line; std::getline(Status, Line);) {
        if (Line.rfind("VmRSS:", 0) == 0) {
            return std::stol(Line.substr(6));
        }
    }
    return -1;
}

struct TSoakTally {
    int Taken = 0;
    int False = 0;  // a status that is not the host's reply to this very request
    int Missed = 0; // time-outs while the host answers
    int Exceptions = 0;
    std::vector<int> TimedOut; // every exchange that timed out, by number
    std::vector<uint32_t> TimedOutRoundTrip;
    std::vector<long long> TimedOutWaitMs;
    std::string FirstFault;
    int Reads = 0;
    long NoiseArrived = 0;
    double Seconds = 0;
    int DescriptorsBefore = 0, DescriptorsAfter = 0;
    long ResidentBefore = 0, ResidentAfter = 0;
};

class NetlabSoakTest : public NetlabTest {
  protected:
    void TearDown() override {
        RegisteredStackClass = FSavedStackClass;
        if (FLabUp) {
            SetSilent(false);
        }
    }

    static void SetSilent(bool AOn) {
        std::string Output;
        ASSERT_EQ(RunLab("silence", Output, AOn ? "on" : "off"), 0) << Output;
    }

    static long NoiseCount() {
        std::string Output;
        EXPECT_EQ(RunLab("noise-count", Output), 0) << Output;
        return std::atol(Output.c_str());
    }

    // The noise host's flood at the client, shaped for exchanges numbered from AFirst.
    static std::unique_ptr<TProcess> StartFlood(uint16_t AFirst) {
        const uint16_t Ours = static_cast<uint16_t>(IdProcessId());
        return StartTool("noise",
                         {"flood", ClientAddress, std::to_string(Ours), std::to_string(AFirst),
                          std::to_string(SoakWindow), std::to_string(NoiseRate)},
                         90);
    }

    // The flood's own summary once it has stopped: "sent N other-id N ...".
    static std::string StopFlood(TProcess& AFlood) {
        EXPECT_EQ(AFlood.Terminate(5s).value_or(-1), 0);
        std::string Summary = AFlood.ReadLine(1s);
        EXPECT_EQ(Summary.rfind("sent ", 0), 0u) << Summary << AFlood.Output();
        return Summary;
    }

    // ACount exchanges from one client with the craft host, whose responder holds each reply
    // back for a millisecond: the kernel's own echo is back before the noise gets a chance,
    // and a host a little way off leaves the client waiting, its socket open to the noise.
    // Every ASilentEvery-th exchange (0: none) finds the host silenced.
    TSoakTally Soak(int ACount, uint16_t AFirst, int ASilentEvery) {
        TSoakTally T;
        auto Host = StartTool("craft", {"respond", "held-echo", "1"}, 90);
        if (!Host) {
            ADD_FAILURE() << "no responder on the craft host";
            return T;
        }
        EXPECT_EQ(StackUserCount, 0);
        FSavedStackClass = RegisteredStackClass;
        RegisteredStackClass = [] { return std::unique_ptr<TIdStack>(new TCountingStack); };
        TCountingStack::Reads = 0;
        const long NoiseBefore = NoiseCount();
        const auto Start = std::chrono::steady_clock::now();
        {
            TIdIcmpClient Client;
            Client.SetHost(CraftHost);
            Client.SetReceiveTimeout(1000);
            // Raw: this thread in the client namespace. Datagram: every exchange on a thread
            // of nobody's there, while this one silences the host as root.
            std::unique_ptr<TNamespaceScope> Scope;
            std::unique_ptr<TUserThread> User;
            if (FMode == TMode::Raw) {
                Scope = std::make_unique<TNamespaceScope>(ClientNamespace);
            } else {
                User = std::make_unique<TUserThread>(ClientNamespace);
            }
            const std::string Error = Scope ? Scope->Error() : User->Error();
            EXPECT_EQ(Error, "");
            const auto Exchange = [&](const std::function<void()>& AWork) {
                if (User) {
                    User->Run(AWork);
                } else {
                    AWork();
                }
            };
            T.DescriptorsBefore = OpenDescriptors();
            T.ResidentBefore = ResidentKiB();
            for (int I = 0; I < ACount && Error.empty(); ++I) {
                const auto Sequence = static_cast<uint16_t>(AFirst + I % SoakWindow);
                const bool Silent = ASilentEvery > 0 && I % ASilentEvery == ASilentEvery - 1;
                if (Silent) {
                    SetSilent(true);
                }
                const auto Sent = std::chrono::steady_clock::now();
                try {
                    Exchange([&] { Client.PingOnce("  ", Sequence); });
                    const TReplyStatus& S = Client.LastStatus();
                    const long long WaitMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                                 std::chrono::steady_clock::now() - Sent)
                                                 .count();
                    if (S.Kind == rkTimedOut) {
                        T.TimedOut.push_back(I);
                        T.TimedOutRoundTrip.push_back(S.RoundTripMs);
                        T.TimedOutWaitMs.push_back(WaitMs);
                        T.Missed += Silent ? 0 : 1;
                    } else if (!Silent && S.Kind == rkEchoReply && S.IcmpType == 0 &&
                               S.SourceAddress == CraftHost && S.Sequence == Sequence) {
                        ++T.Taken;
                    } else {
                        ++T.False;
                        if (T.FirstFault.empty()) {
                            T.FirstFault = "exchange " + std::to_string(I) + " took kind " +
                                           std::to_string(S.Kind) + " type " +
                                           std::to_string(S.IcmpType) + " from " + S.SourceAddress +
                                           " sequence " + std::to_string(S.Sequence);
                        }
                    }
                } catch (const Exception& E) {
                    ++T.Exceptions;
                    if (T.FirstFault.empty()) {
                        T.FirstFault = "exchange " + std::to_string(I) + ": " + E.Message();
                    }
                }
                if (Silent) {
                    SetSilent(false);
                }
            }
            T.DescriptorsAfter = OpenDescriptors();
            T.ResidentAfter = ResidentKiB();
        }
        T.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
        T.NoiseArrived = NoiseCount() - NoiseBefore;
        T.Reads = TCountingStack::Reads;
        RegisteredStackClass = FSavedStackClass;
        return T;
    }

    static void Print(const char* AName, const TSoakTally& T, const std::string& AFlood) {
        std::printf("%s: %.1f s; replies taken %d, false replies %d, missed replies %d, "
                    "exceptions %d, timed out %zu\n"
                    "  noise reaching the client %ld (%.0f a second), read and rejected by it "
                    "%d; flood %s\n"
                    "  descriptors %d -> %d, resident memory %ld KiB -> %ld KiB\n",
                    AName, T.Seconds, T.Taken, T.False, T.Missed, T.Exceptions, T.TimedOut.size(),
                    T.NoiseArrived, T.NoiseArrived / T.Seconds, T.Reads - T.Taken, AFlood.c_str(),
                    T.DescriptorsBefore, T.DescriptorsAfter, T.ResidentBefore, T.ResidentAfter);
        if (!T.FirstFault.empty()) {
            std::printf("  first fault: %s\n", T.FirstFault.c_str());
        }
    }

    TIdStackClass FSavedStackClass = RegisteredStackClass;
};

TEST_P(NetlabSoakTest, TenThousandExchangesUnderNoiseTakeEveryReplyAndNoFalseOne) {
    auto Flood = StartFlood(20000);
    ASSERT_TRUE(Flood);
    const TSoakTally T = Soak(10000, 20000, 0);
    Print("soak", T, StopFlood(*Flood));
    EXPECT_EQ(T.Taken, 10000);
    EXPECT_EQ(T.False, 0) << T.FirstFault;
    EXPECT_EQ(T.Missed, 0);
    EXPECT_EQ(T.Exceptions, 0) << T.FirstFault;
    EXPECT_NEAR(T.NoiseArrived / T.Seconds, NoiseRate, NoiseRate / 5) << "not under noise";
    EXPECT_GT(T.Reads - T.Taken, 1000) << "the client saw too little of the noise";
    EXPECT_EQ(T.DescriptorsAfter, T.DescriptorsBefore);
    EXPECT_LT(T.ResidentAfter - T.ResidentBefore, 256) << "KiB more after the soak";
}

TEST_P(NetlabSoakTest, EveryTenthExchangeSilencedTimesOutAfterOneSecondAndNoOther) {
    auto Flood = StartFlood(40000);
    ASSERT_TRUE(Flood);
    const TSoakTally T = Soak(200, 40000, 10);
    Print("soak, live host silent for every tenth exchange", T, StopFlood(*Flood));
    std::vector<int> Expected;
    for (int I = 9; I < 200; I += 10) {
        Expected.push_back(I);
    }
    EXPECT_EQ(T.TimedOut, Expected);
    EXPECT_EQ(T.Taken, 180);
    EXPECT_EQ(T.False, 0) << T.FirstFault;
    EXPECT_EQ(T.Exceptions, 0) << T.FirstFault;
    if (!T.TimedOut.empty()) {
        const auto [Shortest, Longest] =
            std::minmax_element(T.TimedOutWaitMs.begin(), T.TimedOutWaitMs.end());
        const auto [Least, Most] =
            std::minmax_element(T.TimedOutRoundTrip.begin(), T.TimedOutRoundTrip.end());
        std::printf("  time-outs: round trip %u..%u ms, waited %lld..%lld ms\n", *Least, *Most,
                    *Shortest, *Longest);
    }
    for (size_t I = 0; I < T.TimedOut.size(); ++I) {
        EXPECT_NEAR(T.TimedOutRoundTrip[I], 1000, 50) << "exchange " << T.TimedOut[I];
        EXPECT_NEAR(T.TimedOutWaitMs[I], 1000, 50) << "exchange " << T.TimedOut[I];
    }
}

INSTANTIATE_TEST_SUITE_P(Sockets, NetlabTest, ::testing::Values(TMode::Raw, TMode::Datagram),
                         ModeName);
INSTANTIATE_TEST_SUITE_P(Sockets, NetlabSoakTest, ::testing::Values(TMode::Raw, TMode::Datagram),
                         ModeName);

// A fresh namespace of its own needs no lab.
class NetlabLoopbackTest : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        const std::string Skip = MissingPrerequisite();
        if (!Skip.empty()) {
            GTEST_SKIP() << Skip;
        }
    }
};

// On loopback the raw socket receives our own outgoing request before the kernel's reply; it
// carries our sequence and the TTL we set, and it is accepted first. The datagram socket is
// never handed our own request: it reads the kernel's reply, with the kernel's TTL; the sizes
// and the source are as on the raw socket.
TEST_P(NetlabLoopbackTest, EachSocketTakesTheFirstAnswerItIsHanded) {
    const struct {
        TMode Mode;
        uint8_t Type, Ttl;
    } Cases[] = {{TMode::Raw, 8, 128}, {TMode::Datagram, 0, 64}};
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Mode == TMode::Raw ? "raw socket" : "datagram socket");
        TIdIcmpClient Client;
        const TPingResult R = C.Mode == TMode::Raw
                                  ? PingFrom(Client, nullptr, GetParam(), 1000, 31000)
                                  : PingAsUserFrom(Client, nullptr, GetParam(), 1000, 31000);
        ASSERT_EQ(R.ScopeError, "");
        EXPECT_EQ(R.Exception, "");
        EXPECT_EQ(R.Replies, 1);
        EXPECT_EQ(R.Status.Kind, rkEchoReply);
        EXPECT_EQ(R.Status.IcmpType, C.Type);
        EXPECT_EQ(R.Status.SourceAddress, "127.0.0.1");
        EXPECT_EQ(R.Status.Sequence, 31000);
        EXPECT_EQ(R.Status.Ttl, C.Ttl);
        EXPECT_EQ(R.Status.ByteCount, EchoDatagramBytes);
    }
}

INSTANTIATE_TEST_SUITE_P(Hosts, NetlabLoopbackTest, ::testing::Values("127.0.0.1", "localhost"),
                         [](const auto& AInfo) {
                             return std::string(AInfo.index == 0 ? "Address" : "Name");
                         });

} // namespace
