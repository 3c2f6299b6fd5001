// The mended faults that need POSIX means to provoke: a link, permissions, a size limit.
#include "hosts/HostList.h"
#include "hosts/HostListErrors.h"
#include "hosts/HostListFile.h"
#include "tests/hosts/TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uid_t Nobody = 65534;

// Root reads and writes anything: the permission cases run as nobody while it lives.
struct TAsNobody {
    const bool WasRoot = ::geteuid() == 0;
    const bool Ok = !WasRoot || ::seteuid(Nobody) == 0;
    ~TAsNobody() { EXPECT_TRUE(!WasRoot || ::seteuid(0) == 0); }
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

} // namespace
