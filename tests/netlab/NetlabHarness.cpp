// The netlab tests' harness: stepping into the lab's namespaces, running as nobody on a
// thread of its own, the helper in the socket layer's way, and the fixture that takes the lab.
#include "tests/netlab/NetlabHarness.h"

#include "app/posix/RawSocketHelper.h"
#include "net/IdException.h"
#include "system/EchoHelperChannel.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/capability.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>

namespace netlab {

using namespace std::chrono_literals;

namespace {

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

} // namespace

TNamespaceScope::TNamespaceScope(const char* APath) {
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

TNamespaceScope::~TNamespaceScope() {
    if (FEntered && setns(FOriginal, CLONE_NEWNET) != 0) {
        std::fprintf(stderr, "netlab: cannot return to the original netns: %s\n",
                     std::strerror(errno));
        std::abort();
    }
    if (FOriginal >= 0) {
        close(FOriginal);
    }
}

std::string GroupRange(const TUser& AUser) {
    return std::to_string(AUser.Gid) + " " + std::to_string(AUser.Gid);
}
TUserThread::TUserThread(const char* ANamespace) {
    FThread = std::thread([this, ANamespace] { Main(ANamespace); });
    std::unique_lock Hold(FLock);
    FChanged.wait(Hold, [this] { return FReady; });
}

TUserThread::~TUserThread() {
    {
        const std::lock_guard Hold(FLock);
        FQuit = true;
    }
    FChanged.notify_all();
    FThread.join();
}

void TUserThread::Run(std::function<void()> AWork) {
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

std::string TUserThread::Enter(const char* ANamespace) {
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

std::string TUserThread::Become(const char* ANamespace) {
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

void TUserThread::Main(const char* ANamespace) {
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

bool MainNamespaceProhibits(const std::string& AAddress) {
    // Route lookup only: a UDP connect() sends nothing.
    sockaddr_in Target{};
    Target.sin_family = AF_INET;
    Target.sin_port = htons(9);
    sockaddr_in6 Target6{};
    Target6.sin6_family = AF_INET6;
    Target6.sin6_port = htons(9);
    const bool Six = inet_pton(AF_INET6, AAddress.c_str(), &Target6.sin6_addr) == 1;
    if (!Six && inet_pton(AF_INET, AAddress.c_str(), &Target.sin_addr) != 1) {
        return false;
    }
    const int Socket = socket(Six ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const bool Refused =
        (Six ? connect(Socket, reinterpret_cast<sockaddr*>(&Target6), sizeof Target6)
             : connect(Socket, reinterpret_cast<sockaddr*>(&Target), sizeof Target)) != 0 &&
        errno == EACCES;
    close(Socket);
    return Refused;
}

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

TPingResult PingFrom(TIdIcmpClient& AClient, const char* ANamespace, const std::string& AHost,
                     int ATimeoutMs, uint16_t ASequence) {
    TNamespaceScope Scope(ANamespace);
    if (!Scope.Error().empty()) {
        TPingResult Result;
        Result.ScopeError = Scope.Error();
        return Result;
    }
    return PingHere(AClient, AHost, ATimeoutMs, ASequence);
}

TPingResult PingAsUserFrom(TIdIcmpClient& AClient, const char* ANamespace, const std::string& AHost,
                           int ATimeoutMs, uint16_t ASequence) {
    TUserThread User(ANamespace);
    TPingResult Result;
    if (!User.Error().empty()) {
        Result.ScopeError = User.Error();
        return Result;
    }
    User.Run([&] { Result = PingHere(AClient, AHost, ATimeoutMs, ASequence); });
    return Result;
}

std::string ModeName(const ::testing::TestParamInfo<TMode>& AInfo) {
    return AInfo.param == TMode::Raw        ? "RawSocket"
           : AInfo.param == TMode::Datagram ? "DatagramSocket"
                                            : "HelperProcess";
}

std::string LabName(const ::testing::TestParamInfo<TLabParam>& AInfo) {
    const auto [Family, Mode] = AInfo.param;
    return (Family == TFamily::V4 ? "IPv4" : "IPv6") + ModeName({Mode, AInfo.index});
}

bool UseHelper(TMode AMode, const char* ANamespace) {
    if (AMode != TMode::Helper) {
        System::SetEchoHelperChannel(-1);
        return true;
    }
    if (RawSocketHelper::Pid() == 0) {
        TNamespaceScope Scope(ANamespace);
        if (!Scope.Error().empty() || !RawSocketHelper::Start()) {
            return false;
        }
    }
    System::SetEchoHelperChannel(RawSocketHelper::Channel());
    return RawSocketHelper::Channel() >= 0;
}

TPingResult PingVia(TMode AMode, TIdIcmpClient& AClient, const char* ANamespace,
                    const std::string& AHost, int ATimeoutMs, uint16_t ASequence) {
    return AMode == TMode::Raw ? PingFrom(AClient, ANamespace, AHost, ATimeoutMs, ASequence)
                               : PingAsUserFrom(AClient, ANamespace, AHost, ATimeoutMs, ASequence);
}

void NetlabTest::SetUpTestSuite() {
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
    for (const std::string& Address :
         {Lab4.LiveHost, Lab4.ClientAddress, Lab6.LiveHost, Lab6.ClientAddress}) {
        if (!MainNamespaceProhibits(Address)) {
            FLabError = "the main namespace's guard route for " + Address + " is missing";
            return;
        }
    }
    FLabUp = true;
}

void NetlabTest::TearDownTestSuite() {
    if (FLab.BuiltItsOwn()) {
        const TRunResult Down = FLab.Release();
        EXPECT_EQ(Down.Code, 0) << "lab.sh down: " << Down.Output;
        std::error_code Ignored;
        for (const auto& Entry : std::filesystem::directory_iterator("/run/netns", Ignored)) {
            EXPECT_NE(Entry.path().filename().string().rfind("vxl-", 0), 0u)
                << "left behind: " << Entry.path();
        }
        for (const char* Family : {"-4", "-6"}) {
            const TRunResult Routes = ::Run({"ip", Family, "route", "show", "proto", "251"});
            EXPECT_EQ(Routes.Code, 0);
            EXPECT_EQ(Routes.Output, "") << "guard routes left behind";
        }
    }
    FLab.Release();
    FLabUp = false;
}

void NetlabTest::SetUp() {
    if (!FSkip.empty()) {
        GTEST_SKIP() << FSkip;
    }
    ASSERT_TRUE(FLabUp) << FLabError;
    std::tie(FFamily, FMode) = GetParam();
    ASSERT_TRUE(UseHelper(FMode, ClientNamespace)) << "the helper did not start";
    // Closed for the raw socket's runs, so that nothing but the raw socket can answer.
    std::string Output;
    ASSERT_EQ(RunLab("ping-group", Output, FMode == TMode::Datagram ? GroupRange(Nobody()) : "1 0"),
              0)
        << Output;
}

int NetlabTest::RunLab(const std::string& AVerb, std::string& AOutput,
                       const std::string& AArgument) {
    const TRunResult Lab = FLab.Run(AVerb, AArgument);
    AOutput = Lab.Output;
    return Lab.Code;
}

std::unique_ptr<TProcess> NetlabTest::StartTool(const std::string& ANamespace,
                                                const std::vector<std::string>& AArgs,
                                                int ALifetimeSeconds) {
    std::vector<std::string> Args{
        "ip", "netns", "exec", "vxl-" + ANamespace, FindInPath("python3"), LabDir + "/icmptool.py"};
    Args.insert(Args.end(), AArgs.begin(), AArgs.end());
    TProcessOptions Options;
    Options.Environment = {"LIFETIME=" + std::to_string(ALifetimeSeconds)};
    auto Tool = std::make_unique<TProcess>(Args, Options);
    const std::string Line = Tool->ReadLine(10s);
    EXPECT_EQ(Line, "ready") << Tool->Output();
    return Line == "ready" ? std::move(Tool) : nullptr;
}

TPingResult NetlabTest::Ping(TIdIcmpClient& AClient, const std::string& AHost, int ATimeoutMs,
                             uint16_t ASequence) {
    TPingResult Result = PingVia(FMode, AClient, ClientNamespace, AHost, ATimeoutMs, ASequence);
    EXPECT_EQ(Result.ScopeError, "");
    return Result;
}

void NetlabTest::ExpectErrorMessages(const std::string& AHost, int ARounds, TReplyKind AKind,
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
        EXPECT_EQ(R.Status.ByteCount, Map().ErrorBytes);
        EXPECT_LT(R.Status.RoundTripMs, 500u);
    }
}

void NetlabTest::ExpectTimedOut(const TPingResult& AResult, uint16_t ASequence, int ATimeoutMs) {
    EXPECT_EQ(AResult.Exception, "");
    EXPECT_EQ(AResult.Replies, 1);
    EXPECT_EQ(AResult.Status.Kind, rkTimedOut);
    EXPECT_EQ(AResult.Status.ByteCount, 0);
    EXPECT_EQ(AResult.Status.SourceAddress, Map().Unspecified);
    EXPECT_EQ(AResult.Status.IcmpType, 0);
    EXPECT_EQ(AResult.Status.Ttl, 0);
    EXPECT_EQ(AResult.Status.Sequence, ASequence);
    EXPECT_GE(AResult.Status.RoundTripMs, static_cast<uint32_t>(ATimeoutMs - 20));
    EXPECT_LT(AResult.Status.RoundTripMs, static_cast<uint32_t>(ATimeoutMs + 1500));
}

} // namespace netlab
