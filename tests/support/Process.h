#pragma once
// Programs a test starts: each dies with the test process, is ended only by its pid, and every
// wait on it is bounded. Linux only.
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// The full path of a program found in PATH; empty when there is none.
std::string FindInPath(const std::string& AName);

// Where a started program's network lives.
struct TNetwork {
    // A namespace file such as /run/netns/vxl-cli; empty: a fresh namespace with only
    // loopback, brought up.
    std::string NamespacePath;
};

// An ordinary user to run a program as: its ids only, no supplementary group, and so no
// capability at all.
struct TUser {
    uid_t Uid = 0;
    gid_t Gid = 0;
};
// nobody and its group, as the system names them.
TUser Nobody();

struct TProcessOptions {
    std::vector<std::string> Environment; // NAME=value, added to the test's own
    std::optional<TNetwork> Network;      // none: the test's own namespace
    std::filesystem::path OutputFile;     // stdout and stderr; empty: a pipe the test reads
    std::optional<TUser> User;            // none: the test's own user
};

class TProcess {
  public:
    explicit TProcess(const std::vector<std::string>& AArgs, const TProcessOptions& AOptions = {});
    TProcess(const TProcess&) = delete;
    TProcess& operator=(const TProcess&) = delete;
    ~TProcess();

    bool Started() const { return FPid > 0; }
    pid_t Pid() const { return FPid; }
    bool Running();
    // The exit code (128 + signal when killed by one), or nothing if still running after
    // ATimeout. The output pipe is drained meanwhile, so a chatty program cannot block on it.
    std::optional<int> Wait(std::chrono::milliseconds ATimeout);
    // Asks the program to finish (SIGTERM), then waits as Wait does.
    std::optional<int> Terminate(std::chrono::milliseconds ATimeout);
    void Kill();

    // The next line of output from the pipe, or empty after ATimeout or at its end.
    std::string ReadLine(std::chrono::milliseconds ATimeout);
    // Everything the program has written so far that no ReadLine took.
    std::string Output();
    // The most memory the program held, in KiB, once it has ended.
    long PeakResidentKb() const { return FPeakKb; }

  private:
    bool ReadSome(int ATimeoutMs);
    void Reaped(int AWaitStatus, long APeakKb);

    pid_t FPid = -1;
    std::optional<int> FStatus;
    long FPeakKb = 0;
    std::filesystem::path FOutputFile;
    int FPipe = -1;
    std::string FPending;
};

struct TRunResult {
    int Code = -1; // -1: did not finish in time and was killed
    std::string Output;
};

// Runs a short command to its end, or kills it after ATimeout.
TRunResult Run(const std::vector<std::string>& AArgs,
               const std::vector<std::string>& AEnvironment = {},
               std::chrono::milliseconds ATimeout = std::chrono::seconds(10));
