#include "tests/support/NetLab.h"

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

std::string TNetLab::Acquire() {
    // Another run (another build tree, say) may be using the lab: wait for it.
    const std::string LockPath = std::filesystem::is_directory("/run/lock")
                                     ? "/run/lock/vexlo-netlab.lock"
                                     : "/tmp/vexlo-netlab.lock";
    if (FLock < 0) {
        FLock = open(LockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    }
    bool Locked = false;
    for (int I = 0; FLock >= 0 && I < 600 && !Locked; ++I) {
        Locked = flock(FLock, LOCK_EX | LOCK_NB) == 0;
        if (!Locked) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    if (!Locked) {
        return "could not lock " + LockPath + " within 60 s";
    }
    if (Run("status").Code == 0) {
        return {};
    }
    FBuilt = true;
    const TRunResult Up = Run("up");
    return Up.Code == 0 ? std::string()
                        : "lab.sh up failed (" + std::to_string(Up.Code) + "): " + Up.Output;
}

TRunResult TNetLab::Release() {
    TRunResult Down{0, {}};
    if (FBuilt) {
        Down = Run("down");
        FBuilt = false;
    }
    if (FLock >= 0) {
        close(FLock); // lets the lock go
        FLock = -1;
    }
    return Down;
}

TRunResult TNetLab::Run(const std::string& AVerb, const std::string& AArgument) const {
    std::vector<std::string> Args{"bash", FScript, AVerb};
    if (!AArgument.empty()) {
        Args.push_back(AArgument);
    }
    return ::Run(Args, {"VXL_LAB_LOCK_HELD=1"}, std::chrono::seconds(30));
}
