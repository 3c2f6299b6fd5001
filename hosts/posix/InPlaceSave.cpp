#include "hosts/posix/InPlaceSave.h"

#include "hosts/HostListErrors.h"
#include "hosts/posix/PosixFiles.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

// The state folder, made where missing, open as a descriptor; -1 with errno set. Only a
// folder of the user's own that nobody else may write is used: the copy holds their data.
int OpenStateFolder(bool ACreate) {
    // $XDG_STATE_HOME/vexlo, or ~/.local/state/vexlo.
    std::string Folder = Posix::XdgFolder("XDG_STATE_HOME", ".local/state");
    if (Folder.empty()) {
        errno = ENOENT;
        return -1;
    }
    Folder += "/vexlo";
    if (ACreate && !Posix::MakeFolders(Folder)) {
        return -1;
    }
    const int Fd = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat St {};
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
std::string CopyName(const std::string& ATarget) {
    std::uint64_t Hash = 14695981039346656037ull;
    for (const unsigned char C : ATarget) {
        Hash = (Hash ^ C) * 1099511628211ull;
    }
    char Text[40];
    std::snprintf(Text, sizeof Text, "list-%016llx.undo", static_cast<unsigned long long>(Hash));
    return Text;
}

// "vexlo undo 1\n<device> <inode> <size> <path length>\n<path>\n" and the old bytes.
std::string Header(const struct stat& AList, const std::string& ATarget, std::size_t ASize) {
    return "vexlo undo 1\n" + std::to_string(AList.st_dev) + " " + std::to_string(AList.st_ino) +
           " " + std::to_string(ASize) + " " + std::to_string(ATarget.size()) + "\n" + ATarget +
           "\n";
}

struct TCopy {
    unsigned long long Device = 0, Inode = 0;
    std::string Target;
    std::string Bytes;
};

bool Parse(const std::string& AText, TCopy& ACopy) {
    constexpr std::string_view Magic = "vexlo undo 1\n";
    if (!AText.starts_with(Magic)) {
        return false;
    }
    unsigned long long Size = 0, PathLength = 0;
    int Used = 0;
    if (std::sscanf(AText.c_str() + Magic.size(), "%llu %llu %llu %llu\n%n", &ACopy.Device,
                    &ACopy.Inode, &Size, &PathLength, &Used) != 4 ||
        Used == 0) {
        return false;
    }
    const std::size_t PathStart = Magic.size() + static_cast<std::size_t>(Used);
    if (AText.size() < PathStart || AText.size() - PathStart != PathLength + 1 + Size ||
        AText[PathStart + PathLength] != '\n') {
        return false;
    }
    ACopy.Target = AText.substr(PathStart, PathLength);
    ACopy.Bytes = AText.substr(PathStart + PathLength + 1);
    return true;
}

// Waits a bounded time for a lock: a stopped process, or another user holding a lock on a
// file they may read, must not hang the program.
bool LockWithin(int AFd, int AMilliseconds) {
    for (int Waited = 0;; Waited += 10) {
        if (::flock(AFd, LOCK_EX | LOCK_NB) == 0) {
            return true;
        }
        if ((errno != EWOULDBLOCK && errno != EINTR) || Waited >= AMilliseconds) {
            return false;
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
// for copies to undo waits for this save) from the moment it is whole on disk.
class TUndoCopy {
  public:
    TUndoCopy(const std::string& APath, const std::string& ATarget, const struct stat& AList,
              const std::string& AOld) {
        FDir = OpenStateFolder(true);
        if (FDir < 0) {
            throw EFCreateError(APath, ErrnoText(errno));
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
                ::close(FDir);
                throw EFCreateError(APath, ErrnoText(Error));
            }
        }
        const std::string Head = Header(AList, ATarget, AOld.size());
        const bool Whole =
            Posix::WriteAllAt(FFd, Head.data(), Head.size(), 0) &&
            Posix::WriteAllAt(FFd, AOld.data(), AOld.size(), static_cast<long long>(Head.size())) &&
            ::fsync(FFd) == 0 && ::flock(FFd, LOCK_EX) == 0 &&
            ::renameat(FDir, Temp.c_str(), FDir, FName.c_str()) == 0 && ::fsync(FDir) == 0;
        if (!Whole) {
            ::unlinkat(FDir, Temp.c_str(), 0);
            Close();
            throw EWriteError();
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
    std::string FName;
};

} // namespace

void Save(const std::string& APath, const std::string& ATarget, int AFd,
          const std::string& ABytes) {
    // Two saves of one list at once would mix their bytes; each waits for the other.
    (void)LockWithin(AFd, 2000);
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
    TUndoCopy Copy(APath, Canonical(ATarget), List, Old);
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
    const int Dir = OpenStateFolder(false);
    if (Dir < 0) {
        return;
    }
    const std::string Name = CopyName(Canonical(ATarget));
    Posix::RemoveLeftovers(Dir, Name + ".");
    const int Fd = ::openat(Dir, Name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (Fd < 0) {
        ::close(Dir);
        return;
    }
    struct stat Own {};
    std::string Text;
    TCopy Copy;
    // A save that runs holds the lock until its copy is gone (no link left).
    const bool Pending = LockWithin(Fd, 5000) && ::fstat(Fd, &Own) == 0 && Own.st_nlink > 0 &&
                         S_ISREG(Own.st_mode) && Own.st_uid == ::geteuid() &&
                         Posix::ReadAll(Fd, Text);
    const bool Valid = Pending && Parse(Text, Copy);
    // A copy is whole before it gets its name: one that does not read whole is not ours.
    bool Done = Pending && !Valid;
    if (Valid && Copy.Target == Canonical(ATarget)) {
        const int List = ::open(ATarget.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        struct stat St {};
        if (List < 0 && errno != ENOENT) {
            const int Error = errno;
            ::close(Fd);
            ::close(Dir);
            throw EFOpenError(APath, ErrnoText(Error));
        }
        // A list removed or replaced since belongs to someone's later decision: leave it.
        if (List < 0 || ::fstat(List, &St) != 0 || !S_ISREG(St.st_mode) ||
            St.st_dev != Copy.Device || St.st_ino != Copy.Inode) {
            Done = true;
        } else if (PutBack(List, Copy.Bytes)) {
            Done = true;
        } else {
            const int Error = errno;
            ::close(List);
            ::close(Fd);
            ::close(Dir);
            throw EFOpenError(APath, ErrnoText(Error));
        }
        if (List >= 0) {
            ::close(List);
        }
    }
    if (Done) {
        ::unlinkat(Dir, Name.c_str(), 0);
        (void)::fsync(Dir);
    }
    ::close(Fd);
    ::close(Dir);
}

} // namespace HostListPlatform::InPlace
