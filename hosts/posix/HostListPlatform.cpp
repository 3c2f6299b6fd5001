// POSIX side of the host list's file seam.
#include "hosts/HostListPlatform.h"

#include "hosts/HostListErrors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace HostListPlatform {
namespace {

std::string ErrnoText(int AErrno) {
    return std::strerror(AErrno);
}

// Up to and including the last "/"; empty for a name in the working folder.
std::string FolderOf(const std::string& APath) {
    const std::size_t Slash = APath.rfind('/');
    return Slash == std::string::npos ? std::string() : APath.substr(0, Slash + 1);
}

// The file a chain of symbolic links ends at, which need not exist yet (a dangling link is
// written through, as open(O_CREAT) would). Replacing the link itself would cut it.
std::string FinalTarget(const std::string& APath) {
    std::string Path = APath;
    for (int Hop = 0; Hop < 40; ++Hop) { // the kernel's own limit
        struct stat St {};
        if (::lstat(Path.c_str(), &St) != 0 || !S_ISLNK(St.st_mode)) {
            return Path;
        }
        std::string Link(static_cast<std::size_t>(St.st_size) + 1, '\0');
        for (;;) {
            const ssize_t N = ::readlink(Path.c_str(), Link.data(), Link.size());
            if (N < 0) {
                throw EFCreateError(APath, ErrnoText(errno));
            }
            if (static_cast<std::size_t>(N) < Link.size()) {
                Link.resize(static_cast<std::size_t>(N));
                break;
            }
            Link.resize(Link.size() * 2); // the link changed since lstat
        }
        Path = Link.starts_with('/') ? Link : FolderOf(Path) + Link;
    }
    throw EFCreateError(APath, ErrnoText(ELOOP));
}

} // namespace

std::string_view PathSeparators() {
    return "/";
}

TReadResult ReadWholeFile(const std::string& APath, std::string& ABytes, std::string& ASystemText) {
    // POSIX has no way to deny others writing (locks are advisory), so none is tried.
    // O_NONBLOCK keeps a FIFO at the path from blocking the window's creation.
    const int Fd = ::open(APath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (Fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return TReadResult::Missing;
        }
        ASystemText = ErrnoText(errno);
        return TReadResult::Failed;
    }
    struct stat St {};
    if (::fstat(Fd, &St) != 0) {
        ASystemText = ErrnoText(errno);
        ::close(Fd);
        return TReadResult::Failed;
    }
    if (S_ISDIR(St.st_mode)) {
        ::close(Fd);
        return TReadResult::Missing;
    }
    ::fcntl(Fd, F_SETFL, ::fcntl(Fd, F_GETFL) & ~O_NONBLOCK);
    // The size is a hint only: the file may grow while it is read, and /proc files say 0.
    std::string Bytes(static_cast<std::size_t>(St.st_size > 0 ? St.st_size : 0) + 1, '\0');
    std::size_t Used = 0;
    for (;;) {
        if (Used == Bytes.size()) {
            Bytes.resize(Bytes.size() * 2);
        }
        const ssize_t N = ::read(Fd, Bytes.data() + Used, Bytes.size() - Used);
        if (N < 0 && errno == EINTR) {
            continue;
        }
        if (N < 0) {
            ASystemText = ErrnoText(errno);
            ::close(Fd);
            return TReadResult::Failed;
        }
        if (N == 0) {
            break;
        }
        Used += static_cast<std::size_t>(N);
    }
    ::close(Fd);
    Bytes.resize(Used);
    ABytes = std::move(Bytes);
    return TReadResult::Read;
}

TReplacement::TReplacement(std::string APath) : FPath(std::move(APath)), FHandle(-1) {
    FTarget = FinalTarget(FPath);
    struct stat Old {};
    const bool Exists = ::stat(FTarget.c_str(), &Old) == 0;
    if (Exists) {
        // Replacing by rename needs only the folder's permission; a file the user may not
        // write (read-only, a folder, a read-only mount) is refused as truncating it would
        // be, and left alone.
        const int Probe = ::open(FTarget.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
        if (Probe < 0) {
            throw EFCreateError(FPath, ErrnoText(errno));
        }
        ::close(Probe);
    }
    int Fd = -1;
    for (unsigned Attempt = 0; Fd < 0; ++Attempt) {
        FTemp = FTarget + "." + std::to_string(::getpid()) + "-" + std::to_string(Attempt) + ".tmp";
        // 0666 so that the umask gives a new file the usual permissions.
        Fd = ::open(FTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (Fd < 0 && (errno != EEXIST || Attempt == 100)) {
            throw EFCreateError(FPath, ErrnoText(errno));
        }
    }
    FHandle = Fd;
    FOpen = true;
    if (Exists) {
        // Owner first: a change of owner clears the set-id bits. Only root may give a file
        // away, and when that fails the file is still the user's to read and write.
        if (Old.st_uid != ::geteuid() || Old.st_gid != ::getegid()) {
            (void)::fchown(Fd, Old.st_uid, Old.st_gid);
        }
        (void)::fchmod(Fd, Old.st_mode & 07777);
    }
}

TReplacement::~TReplacement() {
    Discard();
}

void TReplacement::Discard() {
    if (FOpen) {
        ::close(static_cast<int>(FHandle));
        ::unlink(FTemp.c_str());
        FOpen = false;
    }
}

void TReplacement::Write(const char* AData, std::size_t ASize) {
    const int Fd = static_cast<int>(FHandle);
    while (ASize > 0) {
        const ssize_t N = ::write(Fd, AData, ASize);
        if (N < 0 && errno == EINTR) {
            continue;
        }
        if (N <= 0) {
            Discard();
            throw EWriteError();
        }
        AData += N;
        ASize -= static_cast<std::size_t>(N);
    }
}

void TReplacement::Commit() {
    const int Fd = static_cast<int>(FHandle);
    // Data on disk before the name points at it: otherwise a crash right after the rename
    // can leave an empty file where the old list was.
    if (::fsync(Fd) != 0) {
        Discard();
        throw EWriteError();
    }
    FOpen = false;
    if (::close(Fd) != 0) {
        ::unlink(FTemp.c_str());
        throw EWriteError();
    }
    if (::rename(FTemp.c_str(), FTarget.c_str()) != 0) {
        const int Error = errno;
        ::unlink(FTemp.c_str());
        throw EFCreateError(FPath, ErrnoText(Error));
    }
    // The rename itself lasts only once its folder is on disk; the file is complete either
    // way, so a failure here is not the user's concern.
    const std::string Folder = FolderOf(FTarget);
    const int Dir =
        ::open(Folder.empty() ? "." : Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (Dir >= 0) {
        (void)::fsync(Dir);
        ::close(Dir);
    }
}

} // namespace HostListPlatform
