// POSIX side of the host list's file seam.
#include "hosts/HostListPlatform.h"

#include "hosts/HostListErrors.h"
#include "hosts/posix/InPlaceSave.h"
#include "hosts/posix/PosixFiles.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace HostListPlatform {
namespace {

using Posix::ErrnoText;

// Up to and including the last "/"; empty for a name in the working folder.
std::string FolderOf(const std::string& APath) {
    const std::size_t Slash = APath.rfind('/');
    return Slash == std::string::npos ? std::string() : APath.substr(0, Slash + 1);
}

// A folder that others may write but where only an entry's owner may remove or rename it
// (sticky), such as /tmp: entries of several users lie side by side there.
bool SharedSticky(const struct stat& AFolder) {
    return (AFolder.st_mode & S_ISVTX) != 0 && (AFolder.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

std::optional<struct stat> FolderStat(const std::string& AFolder) {
    struct stat Dir {};
    if (::stat(AFolder.empty() ? "." : AFolder.c_str(), &Dir) != 0) {
        return std::nullopt;
    }
    return Dir;
}

// Whether the kernel's protection of shared sticky folders would follow a link there: a
// link that another user planted in a folder everyone may write could otherwise point our
// save, or our read, at a file of the user's that is none of the list's business. Applied
// whatever the system's own setting (fs.protected_symlinks) says.
bool MayFollow(const struct stat& ALink, const std::string& AFolder) {
    const auto Dir = FolderStat(AFolder);
    return Dir &&
           (!SharedSticky(*Dir) || ALink.st_uid == ::geteuid() || ALink.st_uid == Dir->st_uid);
}

// The kernel's protection of regular files in those folders (fs.protected_regular), whatever
// the system's setting, with the administrator trusted too: a file there that is neither
// the user's nor the folder owner's was put there by another user, who could read what the
// user writes into it, and whose entries the user would take for their own.
bool AnotherUsersInSharedFolder(const struct stat& AFile, const std::string& AFolder) {
    const auto Dir = FolderStat(AFolder);
    return Dir && SharedSticky(*Dir) && AFile.st_uid != ::geteuid() &&
           AFile.st_uid != Dir->st_uid && AFile.st_uid != 0;
}

std::vector<std::string> ComponentsBackwards(const std::string& APath) {
    std::vector<std::string> Result;
    for (std::size_t End = APath.size(); End > 0;) {
        const std::size_t Slash = APath.rfind('/', End - 1);
        const std::size_t Start = Slash == std::string::npos ? 0 : Slash + 1;
        Result.push_back(APath.substr(Start, End - Start));
        End = Slash == std::string::npos ? 0 : Slash;
    }
    return Result;
}

// The file that APath names, every symbolic link on the way resolved, so that the path given
// back holds none: each link, at the end or in the middle, is judged by the folder it lies
// in, as the kernel's protection would judge it. A missing file (or folder) ends the walk
// with the rest of the path as it is: a dangling link is written through, as
// open(O_CREAT) would. Replacing the link itself would cut it. False with AError set when
// a link may not be followed or cannot be read.
bool FinalTarget(const std::string& APath, std::string& ATarget, int& AError) {
    std::vector<std::string> Pending = ComponentsBackwards(APath);
    bool Absolute = APath.starts_with('/');
    std::vector<std::string> Done; // no link among them; ".." only at the start of a relative path
    const auto Joined = [&] {
        std::string Text = Absolute ? "/" : "";
        for (const std::string& Name : Done) {
            Text += Name + "/";
        }
        if (Text.size() > 1) {
            Text.pop_back();
        }
        return Text;
    };
    int Links = 0;
    while (!Pending.empty()) {
        std::string Name = std::move(Pending.back());
        Pending.pop_back();
        if (Name.empty() || Name == ".") {
            continue;
        }
        if (Name == "..") {
            if (!Done.empty() && Done.back() != "..") {
                Done.pop_back();
            } else if (!Absolute) {
                Done.push_back(Name);
            }
            continue;
        }
        const std::string Folder = Joined();
        Done.push_back(std::move(Name));
        const std::string Path = Joined();
        struct stat St {};
        if (::lstat(Path.c_str(), &St) != 0 || !S_ISLNK(St.st_mode)) {
            continue;
        }
        Done.pop_back();
        if (++Links > 40) { // the kernel's own limit
            AError = ELOOP;
            return false;
        }
        if (!MayFollow(St, Folder)) {
            AError = EACCES;
            return false;
        }
        std::string Link(static_cast<std::size_t>(St.st_size) + 1, '\0');
        for (;;) {
            const ssize_t N = ::readlink(Path.c_str(), Link.data(), Link.size());
            if (N < 0) {
                AError = errno;
                return false;
            }
            if (static_cast<std::size_t>(N) < Link.size()) {
                Link.resize(static_cast<std::size_t>(N));
                break;
            }
            Link.resize(Link.size() * 2); // the link changed since lstat
        }
        if (Link.starts_with('/')) {
            Absolute = true;
            Done.clear();
        }
        for (std::string& Part : ComponentsBackwards(Link)) {
            Pending.push_back(std::move(Part));
        }
    }
    ATarget = Joined();
    if (ATarget.empty()) {
        ATarget = ".";
    }
    return true;
}

// Opens the file the links at APath end at, judging each link; a link put anywhere on the
// way since it was judged is refused, and the path is judged anew.
int OpenThroughLinks(const std::string& APath, int AFlags, std::string& ATarget, int& AError) {
    for (int Attempt = 0; Attempt < 8; ++Attempt) {
        if (!FinalTarget(APath, ATarget, AError)) {
            return -1;
        }
        const int Fd = Posix::OpenWithoutLinks(ATarget, AFlags | O_NONBLOCK);
        if (Fd >= 0 || errno != ELOOP) {
            AError = errno;
            return Fd;
        }
    }
    AError = ELOOP;
    return -1;
}

// A write past the file-size limit then fails with EFBIG, as a full disk fails one.
void LetTheWriteFail(int) {}

constexpr const char* NotARegularFile = "Not a regular file";

std::string TempName(const std::string& ATarget, unsigned AAttempt) {
    return Posix::TempName(ATarget + ".", AAttempt);
}

// The new file has a name only between its link and its rename (or, where the file system
// makes no file without a name, while it is written): a save killed right then leaves it.
// Each save removes what saves of the same list by processes that have ended left behind.
void RemoveLeftovers(const std::string& AFolder, const std::string& ATarget) {
    const int Dir =
        ::open(AFolder.empty() ? "." : AFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (Dir >= 0) {
        Posix::RemoveLeftovers(Dir, ATarget.substr(AFolder.size()) + ".");
        ::close(Dir);
    }
}

// The folder refuses a new file to this user (not writable, read-only), as opposed to a
// file system that cannot make one without a name.
bool CannotCreateIn(int AErrno) {
    return AErrno == EACCES || AErrno == EPERM || AErrno == EROFS;
}

// A file without a name until Commit links it: a save killed at any moment before then
// leaves nothing behind, and nobody can open the file while it is written. Mode 0600 until
// it takes the old file's.
int OpenUnnamed(const std::string& AFolder) {
    return ::open(AFolder.empty() ? "." : AFolder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
}

// The old file itself, for reading (its old bytes go to the undo copy) and writing, once it
// shows to be a regular file. Nothing of it changes before Commit.
int OpenInPlace(const std::string& ATarget, int& AError) {
    const int Fd = Posix::OpenWithoutLinks(ATarget, O_RDWR | O_NONBLOCK);
    if (Fd < 0) {
        AError = errno;
        return -1;
    }
    struct stat St {};
    if (::fstat(Fd, &St) != 0 || !S_ISREG(St.st_mode)) {
        AError = S_ISREG(St.st_mode) ? errno : EINVAL;
        ::close(Fd);
        return -1;
    }
    return Fd;
}

// Owner first: a change of owner clears the set-id bits. Only root may give a file away;
// a member of the old file's group may still give the new one that group, so that a list
// shared in a group's folder stays shared. A new list gets the usual permissions.
void TakeOverOwnerAndMode(int AFd, long AOwner, long AGroup, long AMode) {
    if (AMode < 0) {
        const mode_t Mask = ::umask(0);
        ::umask(Mask);
        (void)::fchmod(AFd, 0666 & ~Mask);
        return;
    }
    if (static_cast<uid_t>(AOwner) != ::geteuid() || static_cast<gid_t>(AGroup) != ::getegid()) {
        // Not root: the owner cannot be handed on, but the group may be one of ours.
        if (::fchown(AFd, static_cast<uid_t>(AOwner), static_cast<gid_t>(AGroup)) != 0 &&
            ::fchown(AFd, static_cast<uid_t>(-1), static_cast<gid_t>(AGroup)) != 0) {
            // Neither: the new list is simply the user's own.
        }
    }
    (void)::fchmod(AFd, static_cast<mode_t>(AMode));
}

} // namespace

std::string_view PathSeparators() {
    return "/";
}

std::string UserConfigFolder() {
    return Posix::XdgFolder("XDG_CONFIG_HOME", ".config");
}

bool MayWriteFileOrFolder(const std::string& APath) {
    // The effective ids decide, as they do for the save itself; a read-only mount says no.
    const std::string Folder = FolderOf(APath);
    return ::faccessat(AT_FDCWD, APath.c_str(), W_OK, AT_EACCESS) == 0 ||
           ::faccessat(AT_FDCWD, Folder.empty() ? "." : Folder.c_str(), W_OK | X_OK, AT_EACCESS) ==
               0;
}

bool OwnedByAnotherInSharedFolder(const std::string& APath) {
    struct stat St {};
    return ::lstat(APath.c_str(), &St) == 0 && !S_ISDIR(St.st_mode) &&
           AnotherUsersInSharedFolder(St, FolderOf(APath));
}

void KeepRunningAtFileSizeLimit() {
    // Caught rather than ignored: an ignored signal stays ignored in the programs started
    // from here on (the browser with the help page), a caught one is back to its default there.
    struct sigaction Action {};
    Action.sa_handler = LetTheWriteFail;
    sigemptyset(&Action.sa_mask);
    Action.sa_flags = SA_RESTART;
    ::sigaction(SIGXFSZ, &Action, nullptr);
}

void MakeFolderFor(const std::string& APath) {
    // The user's list is nobody else's business.
    const std::string Folder = FolderOf(APath);
    if (!Folder.empty() && !Posix::MakeFolders(Folder)) {
        throw EFCreateError(APath, ErrnoText(errno));
    }
}

TReadResult ReadWholeFile(const std::string& APath, std::string& ABytes, std::string& ASystemText) {
    // POSIX has no way to deny others writing (locks are advisory), so none is tried.
    // O_NONBLOCK keeps a FIFO at the path from blocking the window's creation until its
    // other end opens; what is there is only read once it shows to be a regular file.
    std::string Target;
    int Error = 0;
    const int Fd = OpenThroughLinks(APath, O_RDONLY, Target, Error);
    if (Fd < 0) {
        if (Error == ENOENT || Error == ENOTDIR) {
            return TReadResult::Missing;
        }
        ASystemText = ErrnoText(Error);
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
    if (!S_ISREG(St.st_mode)) {
        // A FIFO, device or socket: reading could wait for ever, or never end (/dev/zero).
        ASystemText = NotARegularFile;
        ::close(Fd);
        return TReadResult::Failed;
    }
    if (AnotherUsersInSharedFolder(St, FolderOf(Target))) {
        ASystemText = ErrnoText(EACCES);
        ::close(Fd);
        return TReadResult::Failed;
    }
    const bool Read = Posix::ReadAll(Fd, ABytes);
    if (!Read) {
        ASystemText = ErrnoText(errno);
    }
    ::close(Fd);
    return Read ? TReadResult::Read : TReadResult::Failed;
}

void FinishInterruptedSave(const std::string& APath) {
    std::string Target;
    int Error = 0;
    if (FinalTarget(APath, Target, Error)) {
        InPlace::Undo(APath, Target);
    }
}

struct TReplacement::TImpl {
    std::string Path;   // as the user knows it, for the messages
    std::string Target; // the file to replace, links followed
    std::string Temp;   // empty while the new file has no name yet
    int Fd = -1;
    bool Open = false;
    bool InPlace = false; // writing the old file itself
    std::string InPlaceBytes;
    // What the new file takes over from the old one before it replaces it: its mode,
    // owner and group (-1: the old file's are not known; a new file's usual ones).
    long Mode = -1;
    long Owner = -1;
    long Group = -1;

    void Discard() {
        if (Open) {
            ::close(Fd);
            if (!Temp.empty()) {
                ::unlink(Temp.c_str());
            }
            Open = false;
        }
    }
};

TReplacement::TReplacement(std::string APath) : FImpl(std::make_unique<TImpl>()) {
    TImpl& F = *FImpl;
    F.Path = std::move(APath);
    if (int Error = 0; !FinalTarget(F.Path, F.Target, Error)) {
        throw EFCreateError(F.Path, ErrnoText(Error));
    }
    const std::string Folder = FolderOf(F.Target);
    struct stat Old {};
    const bool Exists = ::stat(F.Target.c_str(), &Old) == 0;
    if (Exists) {
        // Replacing by rename needs only the folder's permission; a file the user may not
        // write (read-only, a folder, a read-only mount) is refused as truncating it would
        // be, and left alone; so is anything but a regular file, and another user's file
        // in a shared folder.
        const int Probe = Posix::OpenWithoutLinks(F.Target, O_WRONLY | O_NONBLOCK);
        if (Probe < 0) {
            throw EFCreateError(F.Path, ErrnoText(errno));
        }
        struct stat St {};
        const bool Regular = ::fstat(Probe, &St) == 0 && S_ISREG(St.st_mode);
        ::close(Probe);
        if (!Regular) {
            throw EFCreateError(F.Path, NotARegularFile);
        }
        if (AnotherUsersInSharedFolder(St, Folder)) {
            throw EFCreateError(F.Path, ErrnoText(EACCES));
        }
        F.Mode = Old.st_mode & 07777;
        F.Owner = Old.st_uid;
        F.Group = Old.st_gid;
    }
    // In a sticky folder of another user's, only the owner of the old file may replace it.
    struct stat Dir {};
    const bool RenameRefused = Exists && ::stat(Folder.empty() ? "." : Folder.c_str(), &Dir) == 0 &&
                               (Dir.st_mode & S_ISVTX) != 0 && Dir.st_uid != ::geteuid() &&
                               Old.st_uid != ::geteuid();
    if (!RenameRefused) {
        RemoveLeftovers(Folder, F.Target);
    }
    int Fd = RenameRefused ? -1 : OpenUnnamed(Folder);
    int Error = Fd < 0 ? errno : 0;
    // Not every file system can make a file without a name: then one that is named at once
    // and private until it is complete.
    if (Fd < 0 && !RenameRefused && !CannotCreateIn(Error)) {
        for (unsigned Attempt = 0; Fd < 0; ++Attempt) {
            F.Temp = TempName(F.Target, Attempt);
            Fd = ::open(F.Temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            Error = errno;
            if (Fd < 0 && (Error != EEXIST || Attempt == 100)) {
                F.Temp.clear();
                break;
            }
        }
    }
    if (Fd < 0 && Exists && (RenameRefused || CannotCreateIn(Error))) {
        Fd = OpenInPlace(F.Target, Error);
        F.InPlace = Fd >= 0;
    }
    if (Fd < 0) {
        throw EFCreateError(F.Path, ErrnoText(Error));
    }
    F.Fd = Fd;
    F.Open = true;
}

TReplacement::~TReplacement() {
    FImpl->Discard();
}

void TReplacement::Write(const char* AData, std::size_t ASize) {
    TImpl& F = *FImpl;
    if (F.InPlace) {
        // The old bytes stay untouched until all the new ones are known (and room for them).
        F.InPlaceBytes.append(AData, ASize);
        return;
    }
    while (ASize > 0) {
        const ssize_t N = ::write(F.Fd, AData, ASize);
        if (N < 0 && errno == EINTR) {
            continue;
        }
        if (N <= 0) {
            F.Discard();
            throw EWriteError();
        }
        AData += N;
        ASize -= static_cast<std::size_t>(N);
    }
}

void TReplacement::Commit() {
    TImpl& F = *FImpl;
    const int Fd = F.Fd;
    if (F.InPlace) {
        F.Open = false;
        try {
            InPlace::Save(F.Path, F.Target, Fd, F.InPlaceBytes);
        } catch (...) {
            ::close(Fd);
            throw;
        }
        if (::close(Fd) != 0) {
            throw EWriteError();
        }
        return;
    }
    TakeOverOwnerAndMode(Fd, F.Owner, F.Group, F.Mode);
    // Data on disk before the name points at it: otherwise a crash right after the rename
    // can leave an empty file where the old list was.
    if (::fsync(Fd) != 0) {
        F.Discard();
        throw EWriteError();
    }
    // The unnamed file gets its name only now, complete, for the moment until the rename.
    for (unsigned Attempt = 0; F.Temp.empty(); ++Attempt) {
        const std::string Name = TempName(F.Target, Attempt);
        const std::string Self = "/proc/self/fd/" + std::to_string(Fd);
        if (::linkat(AT_FDCWD, Self.c_str(), AT_FDCWD, Name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            F.Temp = Name;
        } else if (errno != EEXIST || Attempt == 100) {
            const int Error = errno;
            F.Discard();
            throw EFCreateError(F.Path, ErrnoText(Error));
        }
    }
    F.Open = false;
    if (::close(Fd) != 0) {
        ::unlink(F.Temp.c_str());
        throw EWriteError();
    }
    if (::rename(F.Temp.c_str(), F.Target.c_str()) != 0) {
        const int Error = errno;
        ::unlink(F.Temp.c_str());
        throw EFCreateError(F.Path, ErrnoText(Error));
    }
    // The rename itself lasts only once its folder is on disk; the file is complete either
    // way, so a failure here is not the user's concern.
    const std::string Folder = FolderOf(F.Target);
    const int Dir =
        ::open(Folder.empty() ? "." : Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (Dir >= 0) {
        (void)::fsync(Dir);
        ::close(Dir);
    }
}

} // namespace HostListPlatform
