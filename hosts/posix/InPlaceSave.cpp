#include "hosts/posix/InPlaceSave.h"

#include "hosts/HostListErrors.h"
#include "hosts/posix/PosixFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// Why an undo copy and not a redo copy: the undo copy is made from the file as it is, so a
// failure while it is made leaves nothing to do, and putting the old bytes back needs no
// more room than they took. Why the user's state folder: the list's own folder is the one
// place that takes no new file, and the copy holds the user's own data, as private as the
// rest of that folder. Why reserve first: on a full disk or an exhausted quota the save
// then fails before the first byte of the list changes.
namespace HostListPlatform::InPlace {
namespace {

using Posix::ErrnoText;

// A descriptor, closed when it goes.
struct TFd {
    explicit TFd(int AFd) : Fd(AFd) {}
    ~TFd() {
        if (Fd >= 0) {
            ::close(Fd);
        }
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    const int Fd;
};

// The state folder, $XDG_STATE_HOME/vexlo or ~/.local/state/vexlo, named in AFolder for the
// messages, made where missing and open as a descriptor; -1 with errno set. Only a folder of
// the user's own that nobody else may write is used: the copy holds their data.
int OpenStateFolder(bool ACreate, std::string& AFolder) {
    AFolder = Posix::XdgFolder("XDG_STATE_HOME", ".local/state");
    if (AFolder.empty()) {
        AFolder = "$XDG_STATE_HOME/vexlo";
        errno = ENOENT;
        return -1;
    }
    AFolder += "/vexlo";
    if (ACreate && !Posix::MakeFolders(AFolder)) {
        return -1;
    }
    const int Fd = ::open(AFolder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat St {};
    if (Fd < 0 && errno == ENOTDIR && ::lstat(AFolder.c_str(), &St) == 0 && S_ISLNK(St.st_mode)) {
        errno = ELOOP; // a link, though perhaps to a folder: say what is refused
    }
    if (Fd >= 0 && (::fstat(Fd, &St) != 0 || St.st_uid != ::geteuid() || (St.st_mode & 022))) {
        ::close(Fd);
        errno = EACCES;
        return -1;
    }
    return Fd;
}

// The list's path with every folder's links resolved, so that a save and a later start
// name one list alike; the final name is no link (links to the list are followed first).
std::string Canonical(const std::string& ATarget) {
    char* Resolved = ::realpath(ATarget.c_str(), nullptr);
    if (Resolved == nullptr) {
        return ATarget;
    }
    std::string Result = Resolved;
    std::free(Resolved);
    return Result;
}

// One name per list, from its full path: FNV-1a, 64 bits. The copy names the path again, so
// that two paths of one name never take each other's bytes.
constexpr std::string_view CopyPrefix = "list-", CopySuffix = ".undo";
constexpr std::size_t CopyNameSize = CopyPrefix.size() + 16 + CopySuffix.size();

std::string CopyName(const std::string& ATarget) {
    std::uint64_t Hash = 14695981039346656037ull;
    for (const unsigned char C : ATarget) {
        Hash = (Hash ^ C) * 1099511628211ull;
    }
    char Text[40];
    std::snprintf(Text, sizeof Text, "list-%016llx.undo", static_cast<unsigned long long>(Hash));
    return Text;
}

// "vexlo undo 2\n<device> <inode> <old size> <new size> <path length>\n<path>\n", the old
// bytes and the new ones. The new ones tell, at the next start, whether the list is still
// as the save could have left it, whatever moment it stopped at: a cut list holds the new
// bytes up to some place and the old ones after it, which no hash of the new bytes as a
// whole could vouch for; anything else is a later edit, which is not to be undone.
constexpr std::string_view Magic = "vexlo undo 2\n";

std::string Header(const struct stat& AList, const std::string& ATarget, std::size_t AOldSize,
                   std::size_t ANewSize) {
    return std::string(Magic) + std::to_string(AList.st_dev) + " " + std::to_string(AList.st_ino) +
           " " + std::to_string(AOldSize) + " " + std::to_string(ANewSize) + " " +
           std::to_string(ATarget.size()) + "\n" + ATarget + "\n";
}

struct TCopy {
    unsigned long long Device = 0, Inode = 0, OldSize = 0, NewSize = 0;
    std::string Target;
    std::string Old, New;
};

// Where the old bytes start in AText, after a header read into ACopy; 0 for no header.
std::size_t ParseHeader(const std::string& AText, TCopy& ACopy) {
    if (!AText.starts_with(Magic)) {
        return 0;
    }
    unsigned long long PathLength = 0;
    int Used = 0;
    if (std::sscanf(AText.c_str() + Magic.size(), "%llu %llu %llu %llu %llu\n%n", &ACopy.Device,
                    &ACopy.Inode, &ACopy.OldSize, &ACopy.NewSize, &PathLength, &Used) != 5 ||
        Used == 0) {
        return 0;
    }
    const std::size_t PathStart = Magic.size() + static_cast<std::size_t>(Used);
    if (AText.size() <= PathStart || AText.size() - PathStart <= PathLength ||
        AText[PathStart + PathLength] != '\n') {
        return 0;
    }
    ACopy.Target = AText.substr(PathStart, PathLength);
    return PathStart + PathLength + 1;
}

bool Parse(const std::string& AText, TCopy& ACopy) {
    const std::size_t Start = ParseHeader(AText, ACopy);
    if (Start == 0 || AText.size() - Start != ACopy.OldSize + ACopy.NewSize) {
        return false;
    }
    ACopy.Old = AText.substr(Start, ACopy.OldSize);
    ACopy.New = AText.substr(Start + ACopy.OldSize);
    return true;
}

// Whether ANow is what writing ANew over AOld from the start could have left: its size
// between theirs, each byte the old or the new one at its place. That takes in a save cut at
// any byte, and a machine that stopped with only some of the written pages on disk.
bool CouldBeLeftBy(const std::string& ANow, const std::string& AOld, const std::string& ANew) {
    if (ANow.size() < std::min(AOld.size(), ANew.size()) ||
        ANow.size() > std::max(AOld.size(), ANew.size())) {
        return false;
    }
    for (std::size_t I = 0; I < ANow.size(); ++I) {
        if (!(I < AOld.size() && ANow[I] == AOld[I]) && !(I < ANew.size() && ANow[I] == ANew[I])) {
            return false;
        }
    }
    return true;
}

// Waits a bounded time for a lock: a stopped process, or another user holding a lock on a
// file they may read, must not hang the program. 0, or the errno of the last attempt.
int LockWithin(int AFd, int AMilliseconds) {
    for (int Waited = 0;; Waited += 10) {
        if (::flock(AFd, LOCK_EX | LOCK_NB) == 0) {
            return 0;
        }
        if ((errno != EWOULDBLOCK && errno != EINTR) || Waited >= AMilliseconds) {
            return errno;
        }
        ::usleep(10'000);
    }
}

// The list's old bytes and size, its old end included.
bool PutBack(int AFd, const std::string& AOld) {
    return Posix::WriteAllAt(AFd, AOld.data(), AOld.size(), 0) &&
           ::ftruncate(AFd, static_cast<off_t>(AOld.size())) == 0 && ::fsync(AFd) == 0;
}

// The undo copy of one save, under its final name and locked (so that a start that looks
// for copies to undo waits for this save) from the moment it is whole on disk. Its errors
// name the state folder: that folder, not the list, is then at fault.
class TUndoCopy {
  public:
    TUndoCopy(const std::string& ATarget, const struct stat& AList, const std::string& AOld,
              const std::string& ANew) {
        FDir = OpenStateFolder(true, FFolder);
        if (FDir < 0) {
            throw EFCreateError(FFolder, ErrnoText(errno));
        }
        FName = CopyName(ATarget);
        const std::string Stem = FName + ".";
        Posix::RemoveLeftovers(FDir, Stem);
        std::string Temp;
        for (unsigned Attempt = 0; FFd < 0; ++Attempt) {
            Temp = Posix::TempName(Stem, Attempt);
            FFd = ::openat(FDir, Temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (FFd < 0 && (errno != EEXIST || Attempt == 100)) {
                const int Error = errno;
                Close();
                throw EFCreateError(FFolder, ErrnoText(Error));
            }
        }
        const std::string Head = Header(AList, ATarget, AOld.size(), ANew.size());
        const auto Size = [](const std::string& AText) {
            return static_cast<long long>(AText.size());
        };
        const bool Whole =
            Posix::WriteAllAt(FFd, Head.data(), Head.size(), 0) &&
            Posix::WriteAllAt(FFd, AOld.data(), AOld.size(), Size(Head)) &&
            Posix::WriteAllAt(FFd, ANew.data(), ANew.size(), Size(Head) + Size(AOld)) &&
            ::fsync(FFd) == 0 && ::flock(FFd, LOCK_EX) == 0 &&
            ::renameat(FDir, Temp.c_str(), FDir, FName.c_str()) == 0 && ::fsync(FDir) == 0;
        if (!Whole) {
            const int Error = errno;
            ::unlinkat(FDir, Temp.c_str(), 0);
            Close();
            // The process's file-size limit stops the copy before the list: the save's own
            // failure, as it would have been at the list.
            if (Error == EFBIG) {
                throw EWriteError();
            }
            throw EFCreateError(FFolder, ErrnoText(Error));
        }
    }
    ~TUndoCopy() { Close(); }
    TUndoCopy(const TUndoCopy&) = delete;
    TUndoCopy& operator=(const TUndoCopy&) = delete;

    // The save ended with the list whole, old or new: the copy has served.
    void Remove() {
        struct stat Mine {};
        struct stat Named {};
        if (::fstat(FFd, &Mine) == 0 &&
            ::fstatat(FDir, FName.c_str(), &Named, AT_SYMLINK_NOFOLLOW) == 0 &&
            Mine.st_dev == Named.st_dev && Mine.st_ino == Named.st_ino) {
            ::unlinkat(FDir, FName.c_str(), 0);
        }
    }

  private:
    void Close() {
        if (FFd >= 0) {
            ::close(FFd);
        }
        if (FDir >= 0) {
            ::close(FDir);
        }
        FFd = FDir = -1;
    }

    int FDir = -1;
    int FFd = -1;
    std::string FFolder;
    std::string FName;
};

// The old bytes of an interrupted save whose list has changed since, in a file of their own
// in the state folder named after the list and the time of that save, for the user to take
// back or throw away. Its path; raises EFCreateError when it cannot be written.
std::string KeepAside(int ADir, const std::string& AFolder, const TCopy& ACopy, time_t ASaved) {
    char Stamp[32] = "";
    struct tm Local {};
    if (::localtime_r(&ASaved, &Local) != nullptr) {
        std::strftime(Stamp, sizeof Stamp, "%Y%m%d-%H%M%S", &Local);
    }
    const std::string Stem = ACopy.Target.substr(ACopy.Target.rfind('/') + 1) + "." + Stamp;
    std::string Name;
    int Fd = -1;
    for (unsigned Attempt = 0; Fd < 0; ++Attempt) {
        Name = Attempt == 0 ? Stem : Stem + "-" + std::to_string(Attempt);
        Fd = ::openat(ADir, Name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (Fd < 0 && (errno != EEXIST || Attempt == 100)) {
            throw EFCreateError(AFolder + "/" + Name, ErrnoText(errno));
        }
    }
    if (!Posix::WriteAllAt(Fd, ACopy.Old.data(), ACopy.Old.size(), 0) || ::fsync(Fd) != 0) {
        const int Error = errno;
        ::close(Fd);
        ::unlinkat(ADir, Name.c_str(), 0);
        throw EFCreateError(AFolder + "/" + Name, ErrnoText(Error));
    }
    ::close(Fd);
    return AFolder + "/" + Name;
}

// Removes the undo copies, but AKept, that have waited more than 30 days for a start with a
// list that no longer exists: nothing could ever put them back. A copy whose list is merely
// out of reach now (a folder not allowed, a drive not there) is a list that is not gone.
void RemoveForgotten(int ADir, const std::string& AKept) {
    constexpr time_t Forgotten = 30 * 24 * 60 * 60;
    const int ListFd = ::openat(ADir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* Folder = ListFd < 0 ? nullptr : ::fdopendir(ListFd);
    if (Folder == nullptr) {
        if (ListFd >= 0) {
            ::close(ListFd);
        }
        return;
    }
    const time_t Now = ::time(nullptr);
    while (const dirent* Entry = ::readdir(Folder)) {
        const std::string_view Name = Entry->d_name;
        if (Name.size() != CopyNameSize || !Name.starts_with(CopyPrefix) ||
            !Name.ends_with(CopySuffix) || Name == AKept) {
            continue;
        }
        const TFd Fd(::openat(ADir, Entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat Own {};
        if (Fd.Fd < 0 || ::fstat(Fd.Fd, &Own) != 0 || !S_ISREG(Own.st_mode) ||
            Own.st_uid != ::geteuid() || Now - Own.st_mtime <= Forgotten) {
            continue;
        }
        // The header alone names the list.
        std::string Head(8192, '\0');
        const ssize_t Read = ::pread(Fd.Fd, Head.data(), Head.size(), 0);
        Head.resize(Read > 0 ? static_cast<std::size_t>(Read) : 0);
        TCopy Copy;
        struct stat List {};
        const bool Gone = ParseHeader(Head, Copy) != 0 &&
                          ::lstat(Copy.Target.c_str(), &List) != 0 &&
                          (errno == ENOENT || errno == ENOTDIR);
        // Locked: a save of that list runs right now, however unlikely after 30 days.
        struct stat Named {};
        if (Gone && ::flock(Fd.Fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(ADir, Entry->d_name, &Named, AT_SYMLINK_NOFOLLOW) == 0 &&
            Named.st_dev == Own.st_dev && Named.st_ino == Own.st_ino) {
            ::unlinkat(ADir, Entry->d_name, 0);
        }
    }
    ::closedir(Folder);
}

} // namespace

void Save(const std::string& APath, const std::string& ATarget, int AFd,
          const std::string& ABytes) {
    // Two saves of one list at once would mix their bytes: a save that cannot have the list
    // to itself within a while writes nothing.
    if (const int Error = LockWithin(AFd, 2000); Error != 0) {
        throw EFCreateError(APath, Error == EWOULDBLOCK ? "Another program holds a lock on it"
                                                        : ErrnoText(Error));
    }
    struct stat List {};
    std::string Old;
    if (::fstat(AFd, &List) != 0 || !Posix::ReadAll(AFd, Old)) {
        throw EFCreateError(APath, ErrnoText(errno));
    }
    if (Old == ABytes) {
        return; // the usual end of a run without edits: nothing to put at risk
    }
    // Room for the new bytes before the first old one changes. A file system that cannot
    // reserve has the undo copy alone to rely on.
    if (!ABytes.empty()) {
        int Result = 0;
        do {
            Result = ::fallocate(AFd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(ABytes.size()));
        } while (Result != 0 && errno == EINTR);
        if (Result != 0 && errno != EOPNOTSUPP && errno != ENOSYS) {
            throw EWriteError();
        }
    }
    TUndoCopy Copy(Canonical(ATarget), List, Old, ABytes);
    const bool Written =
        Posix::WriteAllAt(AFd, ABytes.data(), ABytes.size(), 0) &&
        (ABytes.size() >= Old.size() || ::ftruncate(AFd, static_cast<off_t>(ABytes.size())) == 0) &&
        ::fsync(AFd) == 0;
    if (!Written) {
        // Put back now what the copy would put back at the next start; should that fail too,
        // the copy stays for the next start to try again.
        if (PutBack(AFd, Old)) {
            Copy.Remove();
        }
        throw EWriteError();
    }
    Copy.Remove();
}

void Undo(const std::string& APath, const std::string& ATarget) {
    std::string Folder;
    const TFd Dir(OpenStateFolder(false, Folder));
    if (Dir.Fd < 0) {
        return;
    }
    const std::string Target = Canonical(ATarget);
    const std::string Name = CopyName(Target);
    Posix::RemoveLeftovers(Dir.Fd, Name + ".");
    RemoveForgotten(Dir.Fd, Name);
    const TFd Fd(::openat(Dir.Fd, Name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat Own {};
    std::string Text;
    // A save that runs holds the lock until its copy is gone (no link left).
    const bool Pending = Fd.Fd >= 0 && LockWithin(Fd.Fd, 5000) == 0 && ::fstat(Fd.Fd, &Own) == 0 &&
                         Own.st_nlink > 0 && S_ISREG(Own.st_mode) && Own.st_uid == ::geteuid() &&
                         Posix::ReadAll(Fd.Fd, Text);
    if (!Pending) {
        return;
    }
    // A copy is whole before it gets its name: one that does not read whole is not ours.
    TCopy Copy;
    const bool Valid = Parse(Text, Copy);
    if (Valid && Copy.Target != Target) {
        return; // another list's, whose name happens to be the same
    }
    if (Valid) {
        const TFd List(Posix::OpenWithoutLinks(ATarget, O_RDWR | O_NONBLOCK));
        if (List.Fd < 0 && errno != ENOENT && errno != ENOTDIR) {
            throw EFOpenError(APath, ErrnoText(errno));
        }
        struct stat St {};
        std::string Now;
        const bool Same = List.Fd >= 0 && ::fstat(List.Fd, &St) == 0 && S_ISREG(St.st_mode) &&
                          St.st_dev == Copy.Device && St.st_ino == Copy.Inode;
        if (Same && !Posix::ReadAll(List.Fd, Now)) {
            throw EFOpenError(APath, ErrnoText(errno));
        }
        if (Same && Now == Copy.New) {
            // Every new byte was written: the list is whole, as the save meant it.
        } else if (Same && CouldBeLeftBy(Now, Copy.Old, Copy.New)) {
            if (!PutBack(List.Fd, Copy.Old)) {
                throw EFOpenError(APath, ErrnoText(errno));
            }
        } else {
            // Removed, replaced or written since the save stopped: someone's later decision,
            // which the old bytes must not undo; they stay where the user can take them back.
            const std::string Aside = KeepAside(Dir.Fd, Folder, Copy, Own.st_mtime);
            std::fprintf(stderr,
                         "vexlo: \"%s\" changed after a save of it was cut short, so it stays as "
                         "it is; the list from before that save is in \"%s\"\n",
                         APath.c_str(), Aside.c_str());
        }
    }
    ::unlinkat(Dir.Fd, Name.c_str(), 0);
    (void)::fsync(Dir.Fd);
}

} // namespace HostListPlatform::InPlace
