#include "app/posix/PrivilegePosix.h"
#include "app/Privilege.h"

#include "app/posix/RawSocketHelper.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/auxv.h>
#include <sys/capability.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Privilege {

namespace {

[[noreturn]] void Refuse(const char* AWhat) {
    // Going on would keep more privilege than the program needs.
    std::fprintf(stderr, "vexlo: cannot give up privileges (%s): %s\n", AWhat,
                 std::strerror(errno));
    std::exit(EXIT_FAILURE);
}

// The program's path as the kernel opened it: a hard link is judged by its own folder.
std::string RunningProgram() {
    std::string Path(4096, '\0');
    const ssize_t N = ::readlink("/proc/self/exe", Path.data(), Path.size());
    Path.resize(N > 0 && static_cast<size_t>(N) < Path.size() ? static_cast<size_t>(N) : 0);
    return Path;
}

// The helper program installed with this one, where only root can have put it; else empty,
// and the helper is a fork of this process. Root's start is held to the same rule: a
// helper that another user could have replaced would run with root's privilege.
std::string TrustedHelperProgram() {
    const std::filesystem::path Program = RunningProgram();
    if (Program.empty()) {
        return {};
    }
    const std::string Helper =
        (Program.parent_path() / VEXLO_HELPER_FROM_BIN / "vexlo-raw-helper").lexically_normal();
    return ::access(Helper.c_str(), X_OK) == 0 && UnsafeInstallReason(Helper).empty() ? Helper : "";
}

} // namespace

std::string UnsafeInstallReason(const std::string& AProgram) {
    if (AProgram.empty() || AProgram.front() != '/') {
        return "cannot tell where the program lies";
    }
    std::string Path = AProgram;
    for (int Level = 0;; ++Level) {
        struct stat Info {};
        if (::lstat(Path.c_str(), &Info) != 0) {
            return "cannot check " + Path + ": " + std::strerror(errno);
        }
        const bool Sticky = (Info.st_mode & S_ISVTX) != 0;
        if (S_ISLNK(Info.st_mode)) {
            return Path + " is a symbolic link";
        }
        if (Info.st_uid != 0) {
            return Path + " belongs to user " + std::to_string(Info.st_uid) + ", not root";
        }
        // Above the program's own folder a sticky folder lets nobody replace what root put
        // in it; in the program's own folder it would still let anyone add a plugin.
        if ((Info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && !(Level >= 2 && Sticky)) {
            return Path + ((Info.st_mode & S_IWOTH) != 0 ? " is writable by every user"
                                                         : " is writable by its group");
        }
        if (Path == "/") {
            return {};
        }
        const auto Slash = Path.find_last_of('/');
        Path.resize(Slash == 0 ? 1 : Slash);
    }
}

void DropAtStart() {
    cap_t Current = ::cap_get_proc();
    cap_t None = ::cap_init();
    if (Current == nullptr || None == nullptr) {
        Refuse("cap_get_proc");
    }
    // An ordinary user's start holds nothing, and the ambient set is always a part of the
    // permitted one: nothing to do then.
    if (::cap_compare(Current, None) != 0) {
        // The raw-socket privilege goes to a helper of its own, so that nothing this
        // process loads later can raise it. A plugin planted beside the program could
        // still ask the helper for sockets, so a start that took the privilege from the
        // program file keeps it only where nobody but root can plant one. Root, and a
        // program set-user-id root, keep it as they always did.
        const std::string Unsafe =
            ::getuid() != 0 && ::geteuid() != 0 ? UnsafeInstallReason(RunningProgram()) : "";
        if (Unsafe.empty()) {
            RawSocketHelper::Start(TrustedHelperProgram());
        } else {
            std::fprintf(stderr,
                         "vexlo: raw-socket capability dropped: %s, so code could be planted "
                         "beside the program (install it where only root can write)\n",
                         Unsafe.c_str());
        }
        // Root could otherwise regain everything by running a set-user-id program.
        cap_flag_value_t CanDropBound = CAP_CLEAR;
        ::cap_get_flag(Current, CAP_SETPCAP, CAP_EFFECTIVE, &CanDropBound);
        for (cap_value_t Cap = 0; CanDropBound == CAP_SET && Cap <= CAP_LAST_CAP; ++Cap) {
            if (::cap_drop_bound(Cap) != 0 && errno != EINVAL) {
                Refuse("cap_drop_bound");
            }
        }
        // The empty inheritable set also empties the ambient one, so a program started from
        // here (the help page's browser) inherits nothing. Root keeps its user id, as the
        // system's ping does; only its capabilities go.
        if (::cap_set_proc(None) != 0) {
            Refuse("cap_set_proc");
        }
        if (::cap_reset_ambient() != 0 && errno != EINVAL) {
            Refuse("cap_reset_ambient");
        }
    }
    ::cap_free(None);
    ::cap_free(Current);
}

bool SecureExecution() {
    return ::getauxval(AT_SECURE) != 0;
}

} // namespace Privilege
