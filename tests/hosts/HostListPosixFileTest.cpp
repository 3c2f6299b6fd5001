// The mended faults that need POSIX means to provoke: a link, permissions, owners and
// groups, a size limit, a full disk, a FIFO, a kill in the middle of a save.
#include "hosts/HostList.h"
#include "hosts/HostListErrors.h"
#include "hosts/HostListFile.h"
#include "hosts/HostListPlatform.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <iostream>
#include <optional>
#include <random>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Hands a file (or a link itself) to another owner: a case that needs it fails where it cannot.
void GiveTo(const char* APath, uid_t AUser, gid_t AGroup) {
    EXPECT_EQ(::chown(APath, AUser, AGroup), 0) << APath;
}
void GiveLinkTo(const char* APath, uid_t AUser, gid_t AGroup) {
    EXPECT_EQ(::lchown(APath, AUser, AGroup), 0) << APath;
}

constexpr uid_t Nobody = 65534;

// Root reads and writes anything: the permission cases run as nobody while it lives.
struct TAsNobody {
    const bool WasRoot = ::geteuid() == 0;
    const bool Ok = !WasRoot || ::seteuid(Nobody) == 0;
    ~TAsNobody() { EXPECT_TRUE(!WasRoot || ::seteuid(0) == 0); }
};

// The user's state folder, where a save over the list keeps its undo copy: one of nobody's
// own, since the cases that save in place act as nobody.
struct TStateFolder {
    TTempFolder Folder;
    TStateFolder() {
        GiveTo(Folder.Path().c_str(), Nobody, Nobody);
        ::setenv("XDG_STATE_HOME", Folder.Path().c_str(), 1);
    }
    ~TStateFolder() { ::unsetenv("XDG_STATE_HOME"); }
    // What a save left there: an undo copy, or the start of one.
    std::set<std::string> Left() const {
        std::set<std::string> Result;
        if (std::filesystem::exists(Folder.Path() / "vexlo")) {
            for (const auto& Entry : std::filesystem::directory_iterator(Folder.Path() / "vexlo")) {
                Result.insert(Entry.path().filename().string());
            }
        }
        return Result;
    }
};

THostList ListOf(const std::string& ABytes) {
    THostList List;
    List.Assign(ABytes);
    return List;
}

TEST(PosixFile, ASymbolicLinkIsWrittenThroughAndTheTargetKeepsItsPermissions) {
    TTempFolder Folder;
    WriteBytes(Folder / "real.txt", "old\r\n");
    ::chmod((Folder / "real.txt").c_str(), 0640);
    std::filesystem::create_symlink("real.txt", Folder / "vexlo.txt");
    THostListFile(Folder / "vexlo.txt").Save(ListOf("a=1"));
    EXPECT_TRUE(std::filesystem::is_symlink(Folder / "vexlo.txt"));
    EXPECT_EQ(ReadBytes(Folder / "real.txt"), "a=1\r\n");
    struct stat St {};
    ::stat((Folder / "real.txt").c_str(), &St);
    EXPECT_EQ(St.st_mode & 07777, 0640u);
    EXPECT_EQ(Folder.Names(), (std::set<std::string>{"real.txt", "vexlo.txt"}));
}

TEST(PosixFile, AWriteThatStopsPartWayLeavesTheOldFileAndNoTemporaryFile) {
    TTempFolder Folder;
    const std::string Path = Folder / "vexlo.txt";
    WriteBytes(Path, "old=1\r\n");
    std::string Bytes;
    for (int I = 0; I < 1000; ++I) {
        Bytes += "10.0.0.1=a long enough display name\n";
    }
    // A file size limit makes write() stop short and then fail, as a full disk does.
    rlimit Old{};
    ::getrlimit(RLIMIT_FSIZE, &Old);
    const auto OldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit Small = Old;
    Small.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &Small), 0);
    try {
        THostListFile(Path).Save(ListOf(Bytes));
        ADD_FAILURE() << "no exception";
    } catch (const EWriteError& E) {
        EXPECT_STREQ(E.what(), "Stream write error");
    }
    ::setrlimit(RLIMIT_FSIZE, &Old);
    std::signal(SIGXFSZ, OldHandler);
    EXPECT_EQ(ReadBytes(Path), "old=1\r\n");
    EXPECT_EQ(Folder.Names(), std::set<std::string>{"vexlo.txt"});
}

TEST(PosixFile, AnUnreadableFileIsReportedAndNeverWrittenOver) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to make a file that nobody may read and then read it";
    }
    TTempFolder Folder;
    const std::string Path = Folder / "vexlo.txt";
    WriteBytes(Path, "mine=1\r\n");
    ::chmod(Path.c_str(), 0);
    THostListFile File(Path);
    THostList List;
    if (TAsNobody Guard; !Guard.Ok) {
        GTEST_SKIP() << "cannot become nobody to lose root's access";
    } else {
        try {
            File.Load(List);
            ADD_FAILURE() << "no exception";
        } catch (const EFOpenError& E) {
            EXPECT_EQ(E.what(), "Cannot open file \"" + Path + "\". Permission denied");
        }
    }
    EXPECT_EQ(List.Count(), 0u);
    List.Append("typed=later");
    File.Save(List);
    EXPECT_EQ(ReadBytes(Path), "mine=1\r\n");
}

struct stat StatOf(const std::string& APath) {
    struct stat St {};
    ::lstat(APath.c_str(), &St);
    return St;
}

TEST(PosixFile, TheNewFileIsPrivateWhileWrittenAndTakesTheOldModeOrTheUsualOne) {
    const struct {
        int OldMode; // -1: no list yet
        mode_t Umask;
        mode_t After;
    } Cases[] = {
        {0600, 022, 0600}, {0644, 077, 0644}, {0640, 0, 0640}, {-1, 022, 0644}, {-1, 077, 0600}};
    for (const auto& C : Cases) {
        TTempFolder Folder;
        const std::string Path = Folder / "vexlo.txt";
        if (C.OldMode >= 0) {
            WriteBytes(Path, "old=1\r\n");
            ::chmod(Path.c_str(), static_cast<mode_t>(C.OldMode));
        }
        const mode_t Umask = ::umask(C.Umask);
        {
            HostListPlatform::TReplacement File(Path);
            File.Write("new=1\r\n", 7);
            // Whatever stands in the folder while the list is written, nobody else reads it.
            for (const auto& Name : Folder.Names()) {
                if (Name != "vexlo.txt") {
                    EXPECT_EQ(StatOf(Folder / Name).st_mode & 077, 0u) << Name;
                }
            }
            File.Commit();
        }
        ::umask(Umask);
        EXPECT_EQ(ReadBytes(Path), "new=1\r\n");
        EXPECT_EQ(StatOf(Path).st_mode & 07777, C.After) << "old " << C.OldMode;
        EXPECT_EQ(Folder.Names(), std::set<std::string>{"vexlo.txt"});
    }
}

// Changes of user and groups for the cases that need another user than root.
struct TAsUser {
    const bool Ok;
    TAsUser(gid_t AGroup, std::vector<gid_t> AGroups)
        : Ok(::geteuid() == 0 && ::setgroups(AGroups.size(), AGroups.data()) == 0 &&
             ::setegid(AGroup) == 0 && ::seteuid(Nobody) == 0) {}
    ~TAsUser() {
        if (Ok) {
            EXPECT_TRUE(::seteuid(0) == 0 && ::setegid(0) == 0 && ::setgroups(0, nullptr) == 0);
        }
    }
};

TEST(PosixFile, AGroupMemberKeepsTheListsGroupWhenItCannotKeepItsOwner) {
    constexpr gid_t Users = 100, NoGroup = 65534;
    TTempFolder Folder;
    const std::string Path = Folder / "vexlo.txt";
    WriteBytes(Path, "old=1\r\n");
    GiveTo(Folder.Path().c_str(), 0, Users);
    ::chmod(Folder.Path().c_str(), 0775);
    GiveTo(Path.c_str(), 0, Users);
    ::chmod(Path.c_str(), 0664);
    if (TAsUser Member(NoGroup, {Users}); !Member.Ok) {
        GTEST_SKIP() << "needs root to act as a member of group " << Users;
    } else {
        THostListFile(Path).Save(ListOf("new=1"));
    }
    EXPECT_EQ(ReadBytes(Path), "new=1\r\n");
    EXPECT_EQ(StatOf(Path).st_uid, Nobody);
    EXPECT_EQ(StatOf(Path).st_gid, Users);
    EXPECT_EQ(StatOf(Path).st_mode & 07777, 0664u);
}

TEST(PosixFile, AWritableListInAFolderThatTakesNoNewFileIsWrittenInPlace) {
    const struct {
        const char* Name;
        mode_t FolderMode;
        uid_t ListOwner;
    } Cases[] = {
        {"folder not writable", 0755, Nobody},
        {"sticky folder, another user's list", 01777, 0},
    };
    for (const auto& C : Cases) {
        TTempFolder Folder;
        TStateFolder State;
        const std::string Path = Folder / "vexlo.txt";
        WriteBytes(Path, "old=1\r\n");
        ::chmod(Folder.Path().c_str(), C.FolderMode);
        GiveTo(Path.c_str(), C.ListOwner, 0);
        ::chmod(Path.c_str(), 0666);
        if (TAsNobody Guard; !Guard.Ok) {
            GTEST_SKIP() << "needs root to act as another user";
        } else {
            THostListFile(Path).Save(ListOf("new=1\nsecond=2"));
        }
        EXPECT_EQ(ReadBytes(Path), "new=1\r\nsecond=2\r\n") << C.Name;
        EXPECT_EQ(Folder.Names(), std::set<std::string>{"vexlo.txt"}) << C.Name;
        EXPECT_EQ(State.Left(), std::set<std::string>{}) << C.Name;
    }
}

// A list of about 6 MB whose every line ends in LF: written back with CR LF it grows.
std::string BigList(const std::string& AName, int ALines, const char* AEnd) {
    std::string Bytes;
    for (int I = 0; I < ALines; ++I) {
        Bytes += "10.0.0.1=" + AName + " " + std::to_string(I) + AEnd;
    }
    return Bytes;
}

// A list nobody may replace (its folder takes no new file from nobody), for the saves over it.
struct TListInPlace {
    TTempFolder Folder;
    TStateFolder State;
    std::string Path = Folder / "vexlo.txt";
    explicit TListInPlace(const std::string& AOld) {
        WriteBytes(Path, AOld);
        GiveTo(Path.c_str(), Nobody, Nobody);
        ::chmod(Folder.Path().c_str(), 0755);
    }
    // The next start: loads the list, putting back what a save cut short.
    std::string NextStart() const {
        TAsNobody Guard;
        THostList List;
        THostListFile(Path).Load(List);
        return ReadBytes(Path);
    }
};

// Saves ALists alternately in a child process (as nobody with AAsNobody) and kills it
// AKills times at random moments of a save, calling AAfterKill(kill, list saved) after each.
// Gives the time one whole save takes here, which spreads the kills all over it.
std::chrono::microseconds KillSavesAtRandom(const std::string& APath,
                                            const std::string (&ALists)[2], bool AAsNobody,
                                            int AKills, unsigned ASeed,
                                            const std::function<void(int, int)>& AAfterKill) {
    const auto SaveInChild = [&](int AWhich) {
        const pid_t Child = ::fork();
        if (Child == 0) {
            if (!AAsNobody || ::seteuid(Nobody) == 0) {
                THostListFile(APath).Save(ListOf(ALists[AWhich]));
            }
            ::_exit(0);
        }
        return Child;
    };
    const auto Start = std::chrono::steady_clock::now();
    ::waitpid(SaveInChild(1), nullptr, 0);
    const auto Took = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - Start);
    EXPECT_EQ(ReadBytes(APath), ALists[1]);
    std::mt19937 Random(ASeed);
    for (int Kill = 0; Kill < AKills && !::testing::Test::HasFatalFailure(); ++Kill) {
        const pid_t Child = SaveInChild(Kill % 2);
        ::usleep(static_cast<useconds_t>(Random() % (Took.count() + 1)));
        ::kill(Child, SIGKILL);
        ::waitpid(Child, nullptr, 0);
        AAfterKill(Kill, Kill % 2);
    }
    return Took;
}

TEST(PosixFile, AKillAtAnyMomentOfASaveInPlaceLeavesTheOldOrTheNewListAfterTheNextStart) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as a user who may not write the list's folder";
    }
    const std::string Lists[2] = {BigList("first", 200'000, "\r\n"),
                                  BigList("second", 200'000, "\r\n")};
    TListInPlace List(Lists[0]);
    int Cut = 0, Copies = 0, Old = 0, New = 0;
    const auto Took = KillSavesAtRandom(List.Path, Lists, true, 24, 19, [&](int AKill, int AWhich) {
        const std::string Killed = ReadBytes(List.Path);
        Cut += Killed != Lists[0] && Killed != Lists[1];
        Copies += !List.State.Left().empty();
        const std::string Now = List.NextStart();
        ASSERT_TRUE(Now == Lists[0] || Now == Lists[1]) << "kill " << AKill;
        (Now == Lists[AWhich] ? New : Old)++;
        ASSERT_EQ(List.Folder.Names(), std::set<std::string>{"vexlo.txt"}) << "kill " << AKill;
        ASSERT_EQ(List.State.Left(), std::set<std::string>{}) << "kill " << AKill;
    });
    std::cout << "one save in place: " << Took.count() << " us; of 24 kills " << Copies
              << " left an undo copy, " << Cut << " a cut list, and the next start the old list "
              << Old << " times, the new one " << New << "\n";
}

// Kills a save in place of ANew over the list, started from AOld, the moment its undo copy
// stands, as a crash would leave it while the list is written. The copy's path; empty when
// none was caught so in 20 tries.
std::string CutASaveShort(const TListInPlace& AList, const std::string& AOld,
                          const std::string& ANew) {
    const auto Copy = [&]() -> std::string {
        for (const std::string& Name : AList.State.Left()) {
            if (Name.ends_with(".undo")) {
                return AList.State.Folder / ("vexlo/" + Name);
            }
        }
        return {};
    };
    for (int Try = 0; Try < 20; ++Try) {
        WriteBytes(AList.Path, AOld);
        const pid_t Child = ::fork();
        if (Child == 0) {
            if (::seteuid(Nobody) == 0) {
                THostListFile(AList.Path).Save(ListOf(ANew));
            }
            ::_exit(0);
        }
        bool Ended = false;
        while (!Ended && Copy().empty()) {
            Ended = ::waitpid(Child, nullptr, WNOHANG) == Child;
        }
        if (!Ended) {
            ::kill(Child, SIGKILL);
            ::waitpid(Child, nullptr, 0);
        }
        if (!Copy().empty()) {
            return Copy();
        }
    }
    return {};
}

TEST(PosixFile, AnInterruptedSaveInPlaceIsUndoneOnlyWhileTheListIsAsTheSaveLeftIt) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as a user who may not write the list's folder";
    }
    const std::string Old = BigList("old", 100'000, "\r\n"), New = BigList("new", 100'000, "\r\n");
    std::string Typed = Old;
    Typed[7] = '2'; // as many bytes, one of them neither the old nor the new one there
    const struct {
        const char* Name;
        std::optional<std::string> Since; // what the list became after the cut; none: removed
        bool Undone;
    } Cases[] = {
        {"left as the save left it", std::nullopt, true},
        {"rewritten by hand since", "10.0.0.1=typed\r\n", false},
        {"edited by hand since, its size kept", Typed, false},
        {"removed since", std::nullopt, false},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TListInPlace List(Old);
        ASSERT_NE(CutASaveShort(List, Old, New), "");
        if (C.Since) {
            WriteBytes(List.Path, *C.Since);
        } else if (!C.Undone) {
            std::filesystem::remove(List.Path);
        }
        ::testing::internal::CaptureStderr();
        const std::string Now = List.NextStart();
        const std::string Said = ::testing::internal::GetCapturedStderr();
        const std::set<std::string> Left = List.State.Left();
        if (C.Undone) {
            EXPECT_TRUE(Now == Old || Now == New);
            EXPECT_EQ(Left, std::set<std::string>{});
            EXPECT_EQ(Said, "");
            continue;
        }
        EXPECT_EQ(Now, C.Since.value_or(""));
        // The list from before the save, kept aside under a name the line gives.
        ASSERT_EQ(Left.size(), 1u);
        const std::string Aside = List.State.Folder / ("vexlo/" + *Left.begin());
        EXPECT_TRUE(Left.begin()->starts_with("vexlo.txt.")) << *Left.begin();
        EXPECT_EQ(ReadBytes(Aside), Old);
        EXPECT_EQ(Said, "vexlo: \"" + List.Path +
                            "\" changed after a save of it was cut short, so it stays as it is; "
                            "the list from before that save is in \"" +
                            Aside + "\"\n");
    }
}

TEST(PosixFile, AnUndoCopyOfASaveInPlaceIsRemovedAfter30DaysOnlyWhenItsListIsGone) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as a user who may not write the list's folder";
    }
    const struct {
        int Days;
        bool ListGone;
        bool Removed;
    } Cases[] = {{31, true, true}, {31, false, false}, {29, true, false}};
    for (const auto& C : Cases) {
        SCOPED_TRACE(std::to_string(C.Days) + (C.ListGone ? " days, list gone" : " days"));
        TListInPlace List("old=1\r\n");
        const std::string Copy =
            CutASaveShort(List, BigList("old", 100'000, "\r\n"), BigList("new", 100'000, "\r\n"));
        ASSERT_NE(Copy, "");
        if (C.ListGone) {
            std::filesystem::remove(List.Path);
        }
        const timespec Then[2] = {{::time(nullptr) - C.Days * 86'400, 0},
                                  {::time(nullptr) - C.Days * 86'400, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, Copy.c_str(), Then, 0), 0);
        // Another list's start looks after the forgotten copies.
        const std::string Other = List.Folder / "other.txt";
        WriteBytes(Other, "other=1\r\n");
        {
            TAsNobody Guard;
            THostList Loaded;
            THostListFile(Other).Load(Loaded);
        }
        EXPECT_EQ(std::filesystem::exists(Copy), !C.Removed);
    }
}

TEST(PosixFile, ASaveInPlaceThatCannotFinishKeepsTheOldBytesAndNamesWhatIsAtFault) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to mount a small file system and act as another user";
    }
    // A list with LF line ends that grows when written with CR LF.
    const std::string Old = BigList("entry", 36'219, "\n");
    const std::string New = BigList("entry", 36'219, "\r\n");
    // Mounts of the test's own: gone with the test process.
    ASSERT_EQ(::unshare(CLONE_NEWNS), 0);
    ASSERT_EQ(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    const auto Tmpfs = [](const std::filesystem::path& AAt, const char* AOptions) {
        std::filesystem::create_directories(AAt);
        return ::mount("tmpfs", AAt.c_str(), "tmpfs", 0, AOptions) == 0;
    };
    rlimit Limit{};
    ::getrlimit(RLIMIT_FSIZE, &Limit);
    const rlimit Unlimited = Limit;
    int Lock = -1;
    // Each sets the fault up and gives the message it must bring.
    const struct {
        const char* Name;
        std::function<std::string(TListInPlace&)> Fault;
    } Cases[] = {
        {"full disk",
         [&](TListInPlace& AList) {
             EXPECT_TRUE(Tmpfs(AList.Folder.Path(), "size=1m"));
             ::chmod(AList.Folder.Path().c_str(), 0755);
             WriteBytes(AList.Path, Old);
             GiveTo(AList.Path.c_str(), Nobody, Nobody);
             WriteBytes(AList.Folder / "filler", std::string(1 << 20, 'x')); // as much as fits
             return "Stream write error";
         }},
        {"size limit",
         [&](TListInPlace&) {
             Limit.rlim_cur = Old.size() + 1000;
             EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &Limit), 0);
             return "Stream write error";
         }},
        {"full state folder",
         [&](TListInPlace& AList) {
             EXPECT_TRUE(
                 Tmpfs(AList.State.Folder.Path() / "vexlo", "size=64k,mode=0700,uid=65534"));
             return "Cannot create file \"" + AList.State.Folder / "vexlo" +
                    "\". No space left on device";
         }},
        {"state folder of another user's",
         [&](TListInPlace& AList) {
             std::filesystem::create_directory(AList.State.Folder / "vexlo");
             return "Cannot create file \"" + AList.State.Folder / "vexlo" +
                    "\". Permission denied";
         }},
        {"state folder that is a link",
         [&](TListInPlace& AList) {
             std::filesystem::create_directory(AList.State.Folder / "elsewhere");
             GiveTo((AList.State.Folder / "elsewhere").c_str(), Nobody, Nobody);
             std::filesystem::create_directory_symlink("elsewhere", AList.State.Folder / "vexlo");
             return "Cannot create file \"" + AList.State.Folder / "vexlo" +
                    "\". Too many levels of symbolic links";
         }},
        {"list locked by another program",
         [&](TListInPlace& AList) {
             Lock = ::open(AList.Path.c_str(), O_RDONLY | O_CLOEXEC);
             EXPECT_EQ(::flock(Lock, LOCK_EX), 0);
             return "Cannot create file \"" + AList.Path + "\". Another program holds a lock on it";
         }},
    };
    // The signal's own default would end the process here; the program catches it at start.
    const auto OldHandler = std::signal(SIGXFSZ, SIG_IGN);
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TListInPlace List(Old);
        const std::string Said = C.Fault(List);
        try {
            TAsNobody Guard;
            THostListFile(List.Path).Save(ListOf(New));
            ADD_FAILURE() << "no exception";
        } catch (const EHostListError& E) {
            EXPECT_EQ(E.what(), Said);
        }
        ::setrlimit(RLIMIT_FSIZE, &Unlimited);
        EXPECT_EQ(ReadBytes(List.Path), Old);
        EXPECT_EQ(List.State.Left(), std::set<std::string>{});
        if (Lock >= 0) {
            ::close(Lock);
            Lock = -1;
        }
        ::umount2((List.State.Folder / "vexlo").c_str(), MNT_DETACH);
        ::umount2(List.Folder.Path().c_str(), MNT_DETACH);
    }
    std::signal(SIGXFSZ, OldHandler);
}

TEST(PosixFile, ALinkInASharedStickyFolderIsFollowedOnlyWhenTheUserOrTheFolderOwnsIt) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as two users";
    }
    constexpr uid_t Neighbour = 4242;
    const struct {
        const char* Name;
        mode_t FolderMode;
        uid_t LinkOwner;
        bool Followed;
        // The link is the user's own, to a file through a link to a folder that LinkOwner
        // made beside it.
        bool OnTheWay = false;
    } Cases[] = {
        {"another user's link in a sticky folder", 01777, Neighbour, false},
        {"the user's own link in a sticky folder", 01777, Nobody, true},
        {"the folder owner's link in a sticky folder", 01777, 0, true},
        {"another user's link in a folder without the sticky bit", 0777, Neighbour, true},
        {"another user's link to a folder on the way", 01777, Neighbour, false, true},
        {"the folder owner's link to a folder on the way", 01777, 0, true, true},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TTempFolder Shared, Private;
        ::chmod(Shared.Path().c_str(), C.FolderMode);
        // The user's private file, which the link points at.
        GiveTo(Private.Path().c_str(), Nobody, Nobody);
        ::chmod(Private.Path().c_str(), 0700);
        const std::string Victim = Private / "private.txt";
        WriteBytes(Victim, "secret=1\r\n");
        GiveTo(Victim.c_str(), Nobody, Nobody);
        const std::string Path = Shared / "vexlo.txt";
        const std::string Link = C.OnTheWay ? Shared / "d" : Path;
        std::filesystem::create_symlink(C.OnTheWay ? Private.Path().string() : Victim, Link);
        GiveLinkTo(Link.c_str(), C.LinkOwner, C.LinkOwner);
        if (C.OnTheWay) {
            std::filesystem::create_symlink("d/private.txt", Path);
            GiveLinkTo(Path.c_str(), Nobody, Nobody);
        }
        TAsNobody Guard;
        THostList List;
        if (C.Followed) {
            THostListFile(Path).Load(List);
            EXPECT_EQ(List.Line(0), "secret=1");
            THostListFile(Path).Save(ListOf("new=1"));
            EXPECT_EQ(ReadBytes(Victim), "new=1\r\n");
            continue;
        }
        try {
            THostListFile(Path).Load(List);
            ADD_FAILURE() << "read through the link";
        } catch (const EFOpenError& E) {
            EXPECT_EQ(E.what(), "Cannot open file \"" + Path + "\". Permission denied");
        }
        try {
            THostListFile(Path).Save(ListOf("new=1"));
            ADD_FAILURE() << "written through the link";
        } catch (const EFCreateError& E) {
            EXPECT_EQ(E.what(), "Cannot create file \"" + Path + "\". Permission denied");
        }
        EXPECT_EQ(ReadBytes(Victim), "secret=1\r\n");
        EXPECT_TRUE(std::filesystem::is_symlink(Path));
    }
}

TEST(PosixFile, OnlyARegularFileIsReadAndNothingElseIsEverWritten) {
    TTempFolder Folder;
    const std::string Fifo = Folder / "fifo.txt", Device = Folder / "zero.txt";
    ASSERT_EQ(::mkfifo(Fifo.c_str(), 0666), 0);
    // A writer that never closes: reading would wait for ever.
    const int Writer = ::open(Fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(Writer, 0);
    ASSERT_EQ(::write(Writer, "a=1\r\n", 5), 5);
    std::filesystem::create_symlink("/dev/zero", Device); // and would never end
    for (const std::string& Path : {Fifo, Device}) {
        THostListFile File(Path);
        THostList List;
        try {
            File.Load(List);
            ADD_FAILURE() << "no exception for " << Path;
        } catch (const EFOpenError& E) {
            EXPECT_EQ(E.what(), "Cannot open file \"" + Path + "\". Not a regular file");
        }
        List.Append("typed=later");
        File.Save(List);
        // Written anyway, by a caller that did not load first: refused.
        EXPECT_THROW(THostListFile(Path).Save(List), EFCreateError) << Path;
    }
    EXPECT_TRUE(S_ISFIFO(StatOf(Fifo).st_mode));
    char Left[8];
    EXPECT_EQ(::read(Writer, Left, sizeof Left), 5); // nobody took the bytes, nor added any
    ::close(Writer);
    EXPECT_TRUE(std::filesystem::is_symlink(Device));
}

TEST(PosixFile, ASaveRemovesWhatEndedSavesOfTheSameListLeftAndNothingElse) {
    TTempFolder Folder;
    const pid_t Dead = ::fork();
    if (Dead == 0) {
        ::_exit(0);
    }
    ::waitpid(Dead, nullptr, 0);
    const std::string Ended = std::to_string(Dead), Running = std::to_string(::getpid());
    enum TKind { OwnFile, OthersFile, Link };
    const struct {
        std::string Name;
        bool Removed;
        TKind Kind = OwnFile;
    } Cases[] = {
        {"vexlo.txt." + Ended + "-0.tmp", true},
        {"vexlo.txt." + Ended + "-12.tmp", true},
        // Named like ours, but not ours to remove.
        {"vexlo.txt." + Ended + "-1.tmp", false, OthersFile},
        {"vexlo.txt." + Ended + "-2.tmp", false, Link},
        {"vexlo.txt." + Running + "-0.tmp", false}, // a save that may still go on
        {"other.txt." + Ended + "-0.tmp", false},   // another list's
        {"vexlo.txt.notes.tmp", false},
        {"vexlo.txt." + Ended + "-x.tmp", false},
        {"vexlo.txt.-0.tmp", false},
        {"vexlo.txt.99999999999-0.tmp", false}, // no process id
        {"vexlo.txt..tmp", false},
    };
    WriteBytes(Folder / "target", "someone's");
    // Only root can make another user's file; an ordinary user runs the other rows.
    const auto Made = [](const auto& C) { return C.Kind != OthersFile || ::geteuid() == 0; };
    for (const auto& C : Cases) {
        if (!Made(C)) {
            continue;
        }
        if (C.Kind == Link) {
            std::filesystem::create_symlink(Folder / "target", Folder / C.Name);
            continue;
        }
        WriteBytes(Folder / C.Name, "left");
        if (C.Kind == OthersFile) {
            GiveTo((Folder / C.Name).c_str(), ::geteuid() + 1, ::getegid());
        }
    }
    ::chmod(Folder.Path().c_str(), 0777); // a folder without the sticky bit: anyone may plant
    THostListFile(Folder / "vexlo.txt").Save(ListOf("a=1"));
    for (const auto& C : Cases) {
        EXPECT_EQ(Folder.Names().count(C.Name), C.Removed || !Made(C) ? 0u : 1u) << C.Name;
    }
}

TEST(PosixFile, AKillAtAnyMomentOfASaveLeavesTheOldOrTheNewListAndNothingElse) {
    TTempFolder Folder;
    const std::string Path = Folder / "vexlo.txt";
    const std::string Lists[2] = {BigList("first", 200'000, "\r\n"),
                                  BigList("second", 200'000, "\r\n")};
    WriteBytes(Path, Lists[0]);
    int Old = 0, New = 0;
    const auto Took = KillSavesAtRandom(Path, Lists, false, 20, 20, [&](int AKill, int AWhich) {
        const std::string Now = ReadBytes(Path);
        ASSERT_TRUE(Now == Lists[0] || Now == Lists[1]) << "kill " << AKill;
        (Now == Lists[AWhich] ? New : Old)++;
        // At most the one a kill between link and rename left, which the next save removes.
        ASSERT_LE(Folder.Names().size(), 2u) << "kill " << AKill;
    });
    THostListFile(Path).Save(ListOf(Lists[0]));
    EXPECT_EQ(ReadBytes(Path), Lists[0]);
    EXPECT_EQ(Folder.Names(), std::set<std::string>{"vexlo.txt"});
    RecordProperty("SaveMicroseconds", std::to_string(Took.count()));
    std::cout << "one save: " << Took.count() << " us; kills that left the old list " << Old
              << ", the new one " << New << "\n";
}

TEST(PosixFile, TheListIsBesideTheProgramWhereTheUserMayWriteThereElseTheirOwn) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to install a program that another user runs";
    }
    constexpr uid_t Neighbour = 4242;
    const struct {
        const char* Name;
        mode_t FolderMode;
        int ListMode; // -1: no list beside the program
        bool Beside;
        uid_t ListOwner = 0;
    } Cases[] = {
        {"a portable copy in a folder the user may write", 0777, 0644, true},
        {"an administrator's list opened to everyone", 0755, 0666, true},
        {"an installed program with an administrator's list", 0755, 0644, false},
        {"an installed program without a list", 0755, -1, false},
        {"the folder owner's list in a shared sticky folder", 01777, 0666, true},
        {"another user's list in a shared sticky folder", 01777, 0666, false, Neighbour},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TTempFolder Program, Config;
        GiveTo(Config.Path().c_str(), Nobody, Nobody);
        ::chmod(Program.Path().c_str(), C.FolderMode);
        const std::string Beside = Program / "vexlo.txt";
        if (C.ListMode >= 0) {
            WriteBytes(Beside, "10.6.6.6=Shared\r\n");
            ::chmod(Beside.c_str(), static_cast<mode_t>(C.ListMode));
            GiveTo(Beside.c_str(), C.ListOwner, C.ListOwner);
        }
        const bool Others = C.ListOwner == Neighbour;
        TAsNobody Guard;
        ::testing::internal::CaptureStderr();
        const THostListPlace Place = HostListPlaceFor(Program / "vexlo", Config.Path().string());
        const std::string Said = ::testing::internal::GetCapturedStderr();
        const std::string Own = Config / "vexlo/vexlo.txt";
        EXPECT_EQ(Place.Path, C.Beside ? Beside : Own);
        // Another user's list is not even where the user's own starts from.
        EXPECT_EQ(Place.StartFrom, C.Beside || Others ? "" : Beside);
        EXPECT_EQ(Said, Others
                            ? "vexlo: \"" + Beside +
                                  "\" belongs to another user in a shared folder; the list is \"" +
                                  Own + "\"\n"
                            : "");
        EXPECT_EQ(HostListPlaceFor(Program / "vexlo", "").Path, Beside) << "no config folder";
        if (Others) {
            // Where it is named all the same, it is neither read nor written.
            THostList List;
            EXPECT_THROW(THostListFile(Beside).Load(List), EFOpenError);
            EXPECT_THROW(THostListFile(Beside).Save(ListOf("mine=1")), EFCreateError);
            EXPECT_EQ(ReadBytes(Beside), "10.6.6.6=Shared\r\n");
        }
        if (!C.Beside) {
            // The user's own list is saved into folders made for it, whichever list stands
            // beside the program.
            THostListFile(Place.Path, Place.StartFrom, Place.Own).Save(ListOf("mine=1"));
            EXPECT_EQ(ReadBytes(Own), "mine=1\r\n");
            std::filesystem::remove_all(Config / "vexlo");
        }
    }
}

TEST(PosixFile, TheUsersOwnListStartsFromTheListBesideTheProgramAndIsSavedPrivately) {
    TTempFolder Program, Config;
    const std::string Beside = Program / "vexlo.txt", Own = Config / "vexlo/vexlo.txt";
    const struct {
        const char* Name;
        int BesideMode; // -1: none
        const char* Loaded;
    } Cases[] = {
        {"an administrator's list", 0644, "10.0.0.9=Shared\r\n"},
        {"no list beside the program", -1, "127.0.0.1=Localhost\r\n"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        std::filesystem::remove_all(Config / "vexlo");
        std::filesystem::remove(Beside);
        if (C.BesideMode >= 0) {
            WriteBytes(Beside, "10.0.0.9=Shared\r\n");
        }
        THostListFile File(Own, Beside);
        THostList List;
        File.Load(List);
        EXPECT_EQ(List.Bytes(), C.Loaded);
        List.Append("10.0.0.7=Mine");
        File.Save(List);
        EXPECT_EQ(ReadBytes(Own), std::string(C.Loaded) + "10.0.0.7=Mine\r\n");
        EXPECT_EQ(StatOf(Config / "vexlo").st_mode & 0777, 0700u);
        EXPECT_EQ(std::filesystem::exists(Beside), C.BesideMode >= 0);
        // From now on the user's own list is the one read.
        THostList Again;
        THostListFile(Own, Beside).Load(Again);
        EXPECT_EQ(Again.Bytes(), ReadBytes(Own));
    }
}

} // namespace
