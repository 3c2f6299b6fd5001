#include "tests/support/Process.h"

#include "tests/support/FileBytes.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <poll.h>
#include <pwd.h>
#include <sched.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// NAME=value settings of the test's own environment, overridden or extended by AExtra.
std::vector<std::string> MergedEnvironment(const std::vector<std::string>& AExtra) {
    std::vector<std::string> Result;
    auto NameOf = [](const std::string& ASetting) {
        return ASetting.substr(0, ASetting.find('='));
    };
    for (char** Entry = environ; *Entry != nullptr; ++Entry) {
        const std::string Setting = *Entry;
        bool Overridden = false;
        for (const std::string& Extra : AExtra) {
            Overridden = Overridden || NameOf(Extra) == NameOf(Setting);
        }
        if (!Overridden) {
            Result.push_back(Setting);
        }
    }
    Result.insert(Result.end(), AExtra.begin(), AExtra.end());
    return Result;
}

std::vector<char*> Pointers(std::vector<std::string>& AStrings) {
    std::vector<char*> Result;
    for (std::string& S : AStrings) {
        Result.push_back(S.data());
    }
    Result.push_back(nullptr);
    return Result;
}

// In the child between fork and exec: only system calls from here on.
bool EnterNetwork(const TNetwork& ANetwork) {
    if (ANetwork.NamespacePath.empty()) {
        if (unshare(CLONE_NEWNET) != 0) {
            return false;
        }
        const int Socket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ifreq Request{};
        std::strcpy(Request.ifr_name, "lo");
        if (Socket < 0 || ioctl(Socket, SIOCGIFFLAGS, &Request) != 0) {
            return false;
        }
        Request.ifr_flags = static_cast<short>(Request.ifr_flags | IFF_UP);
        const bool Up = ioctl(Socket, SIOCSIFFLAGS, &Request) == 0;
        close(Socket);
        return Up;
    }
    const int Target = open(ANetwork.NamespacePath.c_str(), O_RDONLY | O_CLOEXEC);
    return Target >= 0 && setns(Target, CLONE_NEWNET) == 0;
}

[[noreturn]] void Fail(const char* AMessage, int ACode) {
    (void)!write(STDERR_FILENO, AMessage, std::strlen(AMessage));
    _exit(ACode);
}

} // namespace

std::string FindInPath(const std::string& AName) {
    const char* Path = std::getenv("PATH");
    std::stringstream Folders(Path != nullptr ? Path : "/usr/sbin:/usr/bin:/sbin:/bin");
    for (std::string Folder; std::getline(Folders, Folder, ':');) {
        const std::string Candidate = Folder + "/" + AName;
        if (!Folder.empty() && access(Candidate.c_str(), X_OK) == 0) {
            return Candidate;
        }
    }
    return {};
}

TUser Nobody() {
    TUser User{65534, 65534};
    if (const passwd* P = getpwnam("nobody")) {
        User = {P->pw_uid, P->pw_gid};
    }
    return User;
}

TProcess::TProcess(const std::vector<std::string>& AArgs, const TProcessOptions& AOptions)
    : FOutputFile(AOptions.OutputFile) {
    std::vector<std::string> Args = AArgs;
    std::vector<std::string> Environment = MergedEnvironment(AOptions.Environment);
    std::vector<char*> Argv = Pointers(Args);
    std::vector<char*> Envp = Pointers(Environment);
    const std::string Output = FOutputFile.string();
    int Pipe[2] = {-1, -1};
    if (FOutputFile.empty() && pipe2(Pipe, O_CLOEXEC) != 0) {
        return;
    }
    const pid_t Parent = getpid();
    FPid = fork();
    if (FPid != 0) {
        if (Pipe[1] >= 0) {
            close(Pipe[1]);
            FPipe = FPid > 0 ? Pipe[0] : (close(Pipe[0]), -1);
        }
        return;
    }
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != Parent) {
        _exit(127);
    }
    const int Out = Pipe[1] >= 0
                        ? Pipe[1]
                        : open(Output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (Out >= 0) {
        dup2(Out, STDOUT_FILENO);
        dup2(Out, STDERR_FILENO);
    }
    if (AOptions.Network && !EnterNetwork(*AOptions.Network)) {
        Fail("cannot enter the network namespace\n", 126);
    }
    // After the namespace, which only root may enter. Leaving root for good clears every
    // capability; the raw system calls, as this child of a threaded process has one thread.
    if (AOptions.User &&
        (syscall(SYS_setgroups, 0, nullptr) != 0 ||
         syscall(SYS_setresgid, AOptions.User->Gid, AOptions.User->Gid, AOptions.User->Gid) != 0 ||
         syscall(SYS_setresuid, AOptions.User->Uid, AOptions.User->Uid, AOptions.User->Uid) != 0)) {
        Fail("cannot become the user\n", 126);
    }
    execvpe(Argv[0], Argv.data(), Envp.data());
    _exit(127);
}

TProcess::~TProcess() {
    Kill();
    if (FPipe >= 0) {
        close(FPipe);
    }
}

bool TProcess::Running() {
    return FPid > 0 && !Wait(0ms).has_value();
}

void TProcess::Reaped(int AWaitStatus, long APeakKb) {
    FStatus = WIFEXITED(AWaitStatus) ? WEXITSTATUS(AWaitStatus) : 128 + WTERMSIG(AWaitStatus);
    FPeakKb = APeakKb;
}

std::optional<int> TProcess::Wait(std::chrono::milliseconds ATimeout) {
    const auto Deadline = Clock::now() + ATimeout;
    while (!FStatus && FPid > 0) {
        int WaitStatus = 0;
        rusage Usage{};
        if (wait4(FPid, &WaitStatus, WNOHANG, &Usage) == FPid) {
            Reaped(WaitStatus, Usage.ru_maxrss);
            break;
        }
        if (Clock::now() >= Deadline) {
            break;
        }
        if (!ReadSome(10)) {
            std::this_thread::sleep_for(10ms);
        }
    }
    return FStatus;
}

std::optional<int> TProcess::Terminate(std::chrono::milliseconds ATimeout) {
    if (FPid > 0 && !FStatus) {
        kill(FPid, SIGTERM);
    }
    return Wait(ATimeout);
}

void TProcess::Kill() {
    if (FPid > 0 && !FStatus) {
        kill(FPid, SIGKILL);
        int WaitStatus = 0;
        rusage Usage{};
        wait4(FPid, &WaitStatus, 0, &Usage);
        Reaped(WaitStatus, Usage.ru_maxrss);
    }
}

std::string TProcess::ReadLine(std::chrono::milliseconds ATimeout) {
    const auto Deadline = Clock::now() + ATimeout;
    for (;;) {
        const size_t Newline = FPending.find('\n');
        if (Newline != std::string::npos) {
            std::string Line = FPending.substr(0, Newline);
            FPending.erase(0, Newline + 1);
            return Line;
        }
        const auto Left =
            std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - Clock::now()).count();
        if (Left <= 0 || !ReadSome(static_cast<int>(Left))) {
            return {};
        }
    }
}

std::string TProcess::Output() {
    if (!FOutputFile.empty()) {
        return ReadBytes(FOutputFile);
    }
    while (ReadSome(0)) {
    }
    return FPending;
}

bool TProcess::ReadSome(int ATimeoutMs) {
    if (FPipe < 0) {
        return false;
    }
    pollfd Poll{FPipe, POLLIN, 0};
    if (poll(&Poll, 1, ATimeoutMs) <= 0) {
        return false;
    }
    char Buffer[4096];
    const ssize_t Count = read(FPipe, Buffer, sizeof Buffer);
    if (Count <= 0) {
        close(FPipe);
        FPipe = -1;
        return false;
    }
    FPending.append(Buffer, static_cast<size_t>(Count));
    return true;
}

TRunResult Run(const std::vector<std::string>& AArgs, const std::vector<std::string>& AEnvironment,
               std::chrono::milliseconds ATimeout) {
    TProcess Process(AArgs, {AEnvironment, std::nullopt, {}, std::nullopt});
    TRunResult Result;
    Result.Code = Process.Wait(ATimeout).value_or(-1);
    Process.Kill();
    Result.Output = Process.Output();
    return Result;
}
