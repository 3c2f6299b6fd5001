#pragma once
// What every netlab test shares: the lab's map, the client under test run in the lab's client
// namespace (or a fresh one) as root through the raw socket, as nobody through the datagram
// socket or through the echo helper, and the fixture that takes the lab built by lab.sh.
#include "net/IdIcmpClient.h"
#include "tests/support/BuildPaths.h"
#include "tests/support/NetLab.h"
#include "tests/support/Process.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace netlab {

inline const std::string LabDir = buildpaths::NetlabDir;
inline const char* const ClientNamespace = "/run/netns/vxl-cli";

enum class TFamily { V4, V6 };

// The lab of one family (lab.sh draws the map), and what its answers look like.
struct TLabMap {
    std::string RouterToClient;
    std::string RouterTwoToRouterOne;
    std::string LiveHost;
    std::string QuietHost;
    std::string CraftHost;
    std::string RejectedHost; // r1's nft rejects it
    std::string NoRouteHost;  // r1 has no route to it; empty where r1 would rate-limit that
    std::string LoopHost;
    std::string AbsentNeighbour; // on r1's link to the live host, with no host: empty for none
    std::string ClientAddress;
    std::string Unspecified; // the source a time-out reports
    uint8_t EchoReplyType;
    uint8_t UnreachableType;
    uint8_t TimeExceededType;
    int EchoBytes;           // the echo reply as the client counts it
    int ErrorBytes;          // an error quoting our whole request, likewise
    const char* NonEchoMode; // icmptool.py's error that answers no echo request
};

// An IPv4 echo reply counts its header; an error quotes our whole datagram (the kernel quotes
// up to 576 bytes). An ICMPv6 message comes without its header, and an error quotes the
// request's IPv6 header with it (up to 1280 bytes).
inline const TLabMap Lab4{.RouterToClient = "198.51.100.1",
                          .RouterTwoToRouterOne = "198.51.100.6",
                          .LiveHost = "203.0.113.2",
                          .QuietHost = "203.0.113.6",
                          .CraftHost = "203.0.113.10",
                          .RejectedHost = "203.0.113.66",
                          .NoRouteHost = "",
                          .LoopHost = "203.0.113.130",
                          .AbsentNeighbour = "",
                          .ClientAddress = "198.51.100.2",
                          .Unspecified = "0.0.0.0",
                          .EchoReplyType = 0,
                          .UnreachableType = 3,
                          .TimeExceededType = 11,
                          .EchoBytes = 20 + 52,
                          .ErrorBytes = 20 + 8 + 20 + 52,
                          .NonEchoMode = "redirect"};
inline const TLabMap Lab6{.RouterToClient = "fd76:0:0:1::1",
                          .RouterTwoToRouterOne = "fd76:0:0:2::2",
                          .LiveHost = "fd76:0:0:11::2",
                          .QuietHost = "fd76:0:0:12::2",
                          .CraftHost = "fd76:0:0:13::2",
                          .RejectedHost = "fd76:0:0:40::1",
                          .NoRouteHost = "fd76:0:0:50::1",
                          .LoopHost = "fd76:0:0:80::1",
                          .AbsentNeighbour = "fd76:0:0:11::99",
                          .ClientAddress = "fd76:0:0:1::2",
                          .Unspecified = "::",
                          .EchoReplyType = 129,
                          .UnreachableType = 1,
                          .TimeExceededType = 3,
                          .EchoBytes = 52,
                          .ErrorBytes = 8 + 40 + 52,
                          .NonEchoMode = "param-problem"};

inline const TLabMap& LabMap(TFamily AFamily) {
    return AFamily == TFamily::V4 ? Lab4 : Lab6;
}

// The thread's network namespace for the lifetime of the object; the original comes back
// on destruction. Without it every later step (lab teardown included) would act in the
// wrong namespace, so a failure to return aborts.
class TNamespaceScope {
  public:
    // Null: a fresh, empty namespace with only lo, brought up here.
    explicit TNamespaceScope(const char* APath);
    TNamespaceScope(const TNamespaceScope&) = delete;
    TNamespaceScope& operator=(const TNamespaceScope&) = delete;
    ~TNamespaceScope();

    const std::string& Error() const { return FError; }

  private:
    int FOriginal = -1;
    bool FEntered = false;
    std::string FError;
};

// The ping_group_range that admits AUser's group and no other.
std::string GroupRange(const TUser& AUser);

// A thread that runs work as a user without privilege runs the program: in the given network
// namespace (null: a fresh one with lo up and ping sockets open to nobody's group), as nobody,
// with no capability at all. The kernel keeps credentials per thread, and the raw system
// calls change this thread's alone (glibc's wrappers would change every thread's), so the
// rest of the test process stays root and runs the lab around it, in the same process, with
// the same process id as the identifier.
class TUserThread {
  public:
    explicit TUserThread(const char* ANamespace);
    TUserThread(const TUserThread&) = delete;
    TUserThread& operator=(const TUserThread&) = delete;
    ~TUserThread();

    // Empty once the thread runs as nobody without any capability; else what failed.
    const std::string& Error() const { return FError; }

    // Runs AWork on the thread and returns when it is done, raising what it raised. Meanwhile
    // the calling thread blocks signals, so that one sent to the process lands on the
    // thread doing the work, as it lands on the program's only thread.
    void Run(std::function<void()> AWork);

  private:
    static std::string Enter(const char* ANamespace);
    static std::string Become(const char* ANamespace);
    void Main(const char* ANamespace);

    std::mutex FLock;
    std::condition_variable FChanged;
    std::function<void()> FWork;
    std::exception_ptr FRaised;
    bool FReady = false;
    bool FQuit = false;
    std::string FError;
    std::thread FThread;
};

// Empty where the netlab tests can run; else why not.
std::string MissingPrerequisite();

// Whether the main namespace refuses a route to AAddress, of either family: lab.sh's guard
// route ('prohibit', EACCES) is in place.
bool MainNamespaceProhibits(const std::string& AAddress);

struct TPingResult {
    TReplyStatus Status;
    int Replies = 0;        // OnReply calls
    std::string Exception;  // Message() of what PingOnce raised, if anything
    std::string ScopeError; // the namespace could not be entered
};

// One PingOnce in the calling thread's namespace.
TPingResult PingHere(TIdIcmpClient& AClient, const std::string& AHost, int ATimeoutMs,
                     uint16_t ASequence);

// One PingOnce from inside the namespace at ANamespace (null: a fresh one).
TPingResult PingFrom(TIdIcmpClient& AClient, const char* ANamespace, const std::string& AHost,
                     int ATimeoutMs, uint16_t ASequence = 0);

// The same, as an ordinary user without any capability: through the ICMP datagram socket.
TPingResult PingAsUserFrom(TIdIcmpClient& AClient, const char* ANamespace, const std::string& AHost,
                           int ATimeoutMs, uint16_t ASequence = 0);

// How the exchanges reach ICMP: as root through the raw socket, as an ordinary user through
// the datagram socket that stands in for it, or as a process without any capability through
// the helper that keeps a raw socket for it, as the program started with the privilege does.
enum class TMode { Raw, Datagram, Helper };

std::string ModeName(const ::testing::TestParamInfo<TMode>& AInfo);

// Each case of the lab for each family, in each mode.
using TLabParam = std::tuple<TFamily, TMode>;
std::string LabName(const ::testing::TestParamInfo<TLabParam>& AInfo);
inline auto EveryFamilyAndMode() {
    return ::testing::Combine(::testing::Values(TFamily::V4, TFamily::V6),
                              ::testing::Values(TMode::Raw, TMode::Datagram, TMode::Helper));
}

// The helper of this test process, started in the namespace at ANamespace (null: a fresh one
// with lo up), where its raw socket then lives, and put in the socket layer's way; false when
// it cannot start. Any other mode takes it out of the way again.
bool UseHelper(TMode AMode, const char* ANamespace);

// One PingOnce as the mode does it: the helper's and the datagram socket's exchanges run on
// a thread of nobody's without any capability.
TPingResult PingVia(TMode AMode, TIdIcmpClient& AClient, const char* ANamespace,
                    const std::string& AHost, int ATimeoutMs, uint16_t ASequence = 0);

// The lab, taken once for each suite, and every case run for each family in each mode.
class NetlabTest : public ::testing::TestWithParam<TLabParam> {
  protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;

    // The map of the family the case runs in.
    static const TLabMap& Map() { return LabMap(FFamily); }

    static int RunLab(const std::string& AVerb, std::string& AOutput,
                      const std::string& AArgument = {});

    // icmptool.py in a lab namespace, running once it has said "ready".
    static std::unique_ptr<TProcess> StartTool(const std::string& ANamespace,
                                               const std::vector<std::string>& AArgs,
                                               int ALifetimeSeconds = 20);

    static TPingResult Ping(TIdIcmpClient& AClient, const std::string& AHost, int ATimeoutMs,
                            uint16_t ASequence = 0);

    // A router's error message quoting each of ARounds requests in a row.
    static void ExpectErrorMessages(const std::string& AHost, int ARounds, TReplyKind AKind,
                                    uint8_t AType, const std::string& ASource, uint8_t ATtl);

    static void ExpectTimedOut(const TPingResult& AResult, uint16_t ASequence, int ATimeoutMs);

    static inline TMode FMode = TMode::Raw;
    static inline TFamily FFamily = TFamily::V4;
    static inline std::string FSkip;
    static inline std::string FLabError;
    static inline TNetLab FLab{LabDir + "/lab.sh"};
    static inline bool FLabUp = false;
};

} // namespace netlab
