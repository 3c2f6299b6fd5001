#include "tests/support/XServer.h"

#include "tests/support/Process.h"

#include <X11/Xlib.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

TXServer::TXServer(int AWidth, int AHeight) {
    const std::string Binary = FindInPath("Xvfb");
    int Fds[2];
    if (Binary.empty() || pipe2(Fds, O_CLOEXEC) != 0) {
        FError = "cannot start Xvfb";
        return;
    }
    const std::string Screen = std::to_string(AWidth) + "x" + std::to_string(AHeight) + "x24";
    const pid_t Parent = getpid();
    FPid = fork();
    if (FPid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != Parent) {
            _exit(127);
        }
        const int Null = open("/dev/null", O_WRONLY);
        dup2(Null, STDOUT_FILENO);
        dup2(Null, STDERR_FILENO);
        // -displayfd: the server takes the first free display and names it once it is ready.
        // -noreset: by default the server resets when its last client leaves, and a client
        // that connects meanwhile is turned away.
        const int Ready = dup(Fds[1]);
        const std::string ReadyFd = std::to_string(Ready);
        execl(Binary.c_str(), "Xvfb", "-displayfd", ReadyFd.c_str(), "-nolisten", "tcp", "-noreset",
              "-screen", "0", Screen.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(Fds[1]);
    std::string Number;
    pollfd Ready{Fds[0], POLLIN, 0};
    char C = 0;
    while (poll(&Ready, 1, 20000) > 0 && read(Fds[0], &C, 1) == 1 && C != '\n') {
        Number += C;
    }
    close(Fds[0]);
    if (FPid < 0 || Number.empty()) {
        FError = "Xvfb did not start within 20 s";
        return;
    }
    FDisplay = ":" + Number;
    // Named is not yet proven: a client must really get through.
    Display* Probe = XOpenDisplay(FDisplay.c_str());
    if (Probe == nullptr) {
        FError = "Xvfb named " + FDisplay + " but takes no client";
        return;
    }
    XCloseDisplay(Probe);
}

TXServer::~TXServer() {
    if (FPid > 0) {
        kill(FPid, SIGTERM);
        int WaitStatus = 0;
        for (int I = 0; I < 200 && waitpid(FPid, &WaitStatus, WNOHANG) == 0; ++I) {
            usleep(10000);
        }
        if (waitpid(FPid, &WaitStatus, WNOHANG) == 0) {
            kill(FPid, SIGKILL);
            waitpid(FPid, &WaitStatus, 0);
        }
    }
}
