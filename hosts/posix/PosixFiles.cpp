#include "hosts/posix/PosixFiles.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <linux/openat2.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace HostListPlatform::Posix {

std::string ErrnoText(int AErrno) {
    return std::strerror(AErrno);
}

std::string TempName(std::string_view AStem, unsigned AAttempt) {
    return std::string(AStem) + std::to_string(::getpid()) + "-" + std::to_string(AAttempt) +
           ".tmp";
}

namespace {

// The process id of a name of the form TempName(AStem, ...), or 0 for any other name.
pid_t WriterOf(std::string_view AName, std::string_view AStem) {
    constexpr std::string_view Suffix = ".tmp";
    if (AName.size() <= AStem.size() + Suffix.size() || !AName.starts_with(AStem) ||
        !AName.ends_with(Suffix)) {
        return 0;
    }
    // "<pid>-<attempt>", both decimal, nothing else.
    const std::string_view Middle =
        AName.substr(AStem.size(), AName.size() - AStem.size() - Suffix.size());
    const std::size_t Dash = Middle.find('-');
    if (Dash == std::string_view::npos) {
        return 0;
    }
    const std::string_view PidText = Middle.substr(0, Dash);
    const std::string_view AttemptText = Middle.substr(Dash + 1);
    long long Pid = 0;
    unsigned Attempt = 0;
    const auto PidRead = std::from_chars(PidText.data(), PidText.data() + PidText.size(), Pid);
    const auto AttemptRead =
        std::from_chars(AttemptText.data(), AttemptText.data() + AttemptText.size(), Attempt);
    if (PidRead.ec != std::errc() || PidRead.ptr != PidText.data() + PidText.size() ||
        AttemptRead.ec != std::errc() ||
        AttemptRead.ptr != AttemptText.data() + AttemptText.size() || Pid <= 0 ||
        Pid > std::numeric_limits<pid_t>::max()) {
        return 0;
    }
    return static_cast<pid_t>(Pid);
}

} // namespace

void RemoveLeftovers(int ADirFd, std::string_view AStem) {
    // A descriptor of its own: closedir() closes the one it reads through.
    const int ListFd = ::openat(ADirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* Dir = ListFd < 0 ? nullptr : ::fdopendir(ListFd);
    if (Dir == nullptr) {
        if (ListFd >= 0) {
            ::close(ListFd);
        }
        return;
    }
    while (const dirent* Entry = ::readdir(Dir)) {
        const pid_t Writer = WriterOf(Entry->d_name, AStem);
        // A process that runs, or whose state we may not see, keeps its file.
        if (Writer == 0 || ::kill(Writer, 0) == 0 || errno != ESRCH) {
            continue;
        }
        // Judged through a descriptor of the file itself, not its name: a link is never
        // opened, and what is removed below is still the file that was judged when the
        // name's inode is the same.
        const int Fd =
            ::openat(ADirFd, Entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (Fd < 0) {
            continue;
        }
        struct stat Opened {};
        struct stat Named {};
        const bool Ours = ::fstat(Fd, &Opened) == 0 && S_ISREG(Opened.st_mode) &&
                          Opened.st_uid == ::geteuid() &&
                          ::fstatat(ADirFd, Entry->d_name, &Named, AT_SYMLINK_NOFOLLOW) == 0 &&
                          Named.st_dev == Opened.st_dev && Named.st_ino == Opened.st_ino;
        ::close(Fd);
        if (Ours) {
            ::unlinkat(ADirFd, Entry->d_name, 0);
        }
    }
    ::closedir(Dir);
}

std::string XdgFolder(const char* AVariable, const char* AUnderHome) {
    if (const char* Named = std::getenv(AVariable); Named != nullptr && Named[0] == '/') {
        return Named;
    }
    std::string Home;
    if (const char* Env = std::getenv("HOME"); Env != nullptr && Env[0] == '/') {
        Home = Env;
    } else if (const passwd* Entry = ::getpwuid(::geteuid());
               Entry != nullptr && Entry->pw_dir != nullptr && Entry->pw_dir[0] == '/') {
        Home = Entry->pw_dir;
    }
    return Home.empty() ? Home : Home + "/" + AUnderHome;
}

bool MakeFolders(const std::string& AFolder) {
    for (std::size_t Slash = AFolder.find('/', 1);; Slash = AFolder.find('/', Slash + 1)) {
        const std::string Part = AFolder.substr(0, Slash);
        if (!Part.empty() && ::mkdir(Part.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        if (Slash == std::string::npos) {
            return true;
        }
    }
}

int OpenWithoutLinks(const std::string& APath, int AFlags) {
    open_how How{};
    How.flags = static_cast<std::uint64_t>(AFlags | O_CLOEXEC);
    How.resolve = RESOLVE_NO_SYMLINKS;
    const long Fd = ::syscall(SYS_openat2, AT_FDCWD, APath.c_str(), &How, sizeof How);
    if (Fd >= 0 || errno != ENOSYS) {
        return static_cast<int>(Fd);
    }
    // Kernels before 5.6: the final name at least is no link; a folder swapped for one since
    // the walk is the window left open there.
    return ::open(APath.c_str(), AFlags | O_NOFOLLOW | O_CLOEXEC);
}

bool ReadAll(int AFd, std::string& ABytes) {
    // The size is a hint only: the file may grow while it is read.
    struct stat St {};
    const std::size_t Hint =
        ::fstat(AFd, &St) == 0 && St.st_size > 0 ? static_cast<std::size_t>(St.st_size) : 0;
    ABytes.assign(Hint + 1, '\0');
    std::size_t Used = 0;
    for (;;) {
        if (Used == ABytes.size()) {
            ABytes.resize(ABytes.size() * 2);
        }
        const ssize_t N =
            ::pread(AFd, ABytes.data() + Used, ABytes.size() - Used, static_cast<off_t>(Used));
        if (N < 0 && errno == EINTR) {
            continue;
        }
        if (N < 0) {
            return false;
        }
        if (N == 0) {
            ABytes.resize(Used);
            return true;
        }
        Used += static_cast<std::size_t>(N);
    }
}

bool WriteAllAt(int AFd, const char* AData, std::size_t ASize, long long AOffset) {
    while (ASize > 0) {
        const ssize_t N = ::pwrite(AFd, AData, ASize, static_cast<off_t>(AOffset));
        if (N < 0 && errno == EINTR) {
            continue;
        }
        if (N <= 0) {
            if (N == 0) {
                errno = ENOSPC;
            }
            return false;
        }
        AData += N;
        ASize -= static_cast<std::size_t>(N);
        AOffset += N;
    }
    return true;
}

} // namespace HostListPlatform::Posix
