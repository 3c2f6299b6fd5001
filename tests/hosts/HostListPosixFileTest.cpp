// The file's failure paths that need POSIX means: links, permissions, a file size limit.
#include "TempFolder.h"
#include "hosts/HostList.h"
#include "hosts/HostListErrors.h"
#include "hosts/HostListFile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uid_t Nobody = 65534;

// Root reads and writes anything: the permission cases run as nobody for their duration.
class TAsNobody {
  public:
    TAsNobody() : FWasRoot(::geteuid() == 0) {
        FOk = !FWasRoot || ::seteuid(Nobody) == 0;
    }
    ~TAsNobody() {
        if (FWasRoot) {
            EXPECT_EQ(::seteuid(0), 0);
        }
    }
    bool Ok() const { return FOk; }

  private:
    bool FWasRoot;
    bool FOk;
};

THostList TwoEntries() {
    THostList List;
    List.Assign("a=1\nb=2");
    return List;
}

TEST(PosixFile, ASymbolicLinkIsWrittenThroughAndTheTargetKeepsItsPermissions) {
    TTempFolder Folder;
    WriteBytes(Folder / "real.txt", "old\r\n");
    ::chmod((Folder / "real.txt").c_str(), 0640);
    std::filesystem::create_symlink("real.txt", Folder / "vexlo.txt");
    THostListFile(Folder / "vexlo.txt").Save(TwoEntries());
    EXPECT_TRUE(std::filesystem::is_symlink(Folder / "vexlo.txt"));
    EXPECT_EQ(ReadBytes(Folder / "real.txt"), "a=1\r\nb=2\r\n");
    struct stat St {};
    ::stat((Folder / "real.txt").c_str(), &St);
    EXPECT_EQ(St.st_mode & 07777, 0640u);
    EXPECT_EQ(Folder.Names(), (std::set<std::string>{"real.txt", "vexlo.txt"}));
}

TEST(PosixFile, AWriteThatStopsPartWayLeavesTheOldFileAndNoTemporaryFile) {
    TTempFolder Folder;
    const std::string Path = Folder / "vexlo.txt";
    WriteBytes(Path, "old=1\r\n");
    THostList List;
    for (int I = 0; I < 1000; ++I) {
        List.Append("10.0.0.1=a long enough display name");
    }
    // A file size limit makes write() stop short, then fail with EFBIG, as a full disk does.
    rlimit Old{};
    ::getrlimit(RLIMIT_FSIZE, &Old);
    const auto OldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit Small = Old;
    Small.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &Small), 0);
    try {
        THostListFile(Path).Save(List);
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
    TTempFolder Folder;
    const std::string Path = Folder / "vexlo.txt";
    WriteBytes(Path, "mine=1\r\n");
    ::chmod(Path.c_str(), 0);
    THostListFile File(Path);
    THostList List;
    {
        TAsNobody Guard;
        if (!Guard.Ok()) {
            GTEST_SKIP() << "cannot become nobody to lose root's access";
        }
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
    ::chmod(Path.c_str(), 0600);
    EXPECT_EQ(ReadBytes(Path), "mine=1\r\n");
}

TEST(PosixFile, AReadOnlyFileIsNotReplacedEvenInAWritableFolder) {
    TTempFolder Folder;
    const std::string Path = Folder / "vexlo.txt";
    WriteBytes(Path, "mine=1\r\n");
    ::chmod(Path.c_str(), 0444);
    if (::geteuid() == 0) {
        ::chown(Folder.Path().c_str(), Nobody, Nobody);
        ::chown(Path.c_str(), Nobody, Nobody);
    }
    TAsNobody Guard;
    if (!Guard.Ok()) {
        GTEST_SKIP() << "cannot become nobody to lose root's access";
    }
    try {
        THostListFile(Path).Save(TwoEntries());
        ADD_FAILURE() << "no exception";
    } catch (const EFCreateError& E) {
        EXPECT_EQ(E.what(), "Cannot create file \"" + Path + "\". Permission denied");
    }
    EXPECT_EQ(ReadBytes(Path), "mine=1\r\n");
    EXPECT_EQ(Folder.Names(), std::set<std::string>{"vexlo.txt"});
}

} // namespace
