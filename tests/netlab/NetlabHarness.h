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
#include <vector>

namespace netlab {

inline const std::string LabDir = buildpaths::NetlabDir;
inline const char* const ClientNamespace = "/run/netns/vxl-cli";

// Addresses inside the lab (lab.sh draws the map).
inline const std::string RouterToClient = "198.51.100.1";
inline const std::string RouterTwoToRouterOne = "198.51.100.6";
inline const std::string LiveHost = "203.0.113.2";
inline const std::string QuietHost = "203.0.113.6";
inline const std::string CraftHost = "203.0.113.10";
inline const std::string RejectedHost = "203.0.113.66";
inline const std::string LoopHost = "203.0.113.130";
inline const std::string ClientAddress = "198.51.100.2";

constexpr int EchoDatagramBytes = 20 + 52;
// Outer header, ICMP header, then our whole datagram: the kernel quotes up to 576 bytes.
constexpr int ErrorDatagramBytes = 20 + 8 + EchoDatagramBytes;

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

// Whether the main namespace refuses a route to AAddress: lab.sh's guard route ('prohibit',
// EACCES) is in place.
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

// The helper of this test process, started in the namespace at ANamespace (null: a fresh one
// with lo up), where its raw socket then lives, and put in the socket layer's way; false when
// it cannot start. Any other mode takes it out of the way again.
bool UseHelper(TMode AMode, const char* ANamespace);

// One PingOnce as the mode does it: the helper's and the datagram socket's exchanges run on
// a thread of nobody's without any capability.
TPingResult PingVia(TMode AMode, TIdIcmpClient& AClient, const char* ANamespace,
                    const std::string& AHost, int ATimeoutMs, uint16_t ASequence = 0);

// The lab, taken once for each suite, and every case run in each mode.
class NetlabTest : public ::testing::TestWithParam<TMode> {
  protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;

    virtual TMode Mode() const { return GetParam(); }

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

    static inline TMode FMode = TMode::Raw;
    static inline std::string FSkip;
    static inline std::string FLabError;
    static inline TNetLab FLab{LabDir + "/lab.sh"};
    static inline bool FLabUp = false;
};

void ExpectTimedOut(const TPingResult& AResult, uint16_t ASequence, int ATimeoutMs);

} // namespace netlab
