// The file against real files, on every platform; the cases that need a platform's own means
// (links, permissions, sharing, drive letters) are in HostListPosixFileTest.cpp and
// HostListWinFileTest.cpp.
#include "TempFolder.h"
#include "hosts/HostList.h"
#include "hosts/HostListErrors.h"
#include "hosts/HostListFile.h"

#include <gtest/gtest.h>

using namespace std::string_literals;

namespace {

struct TPathCase {
    const char* Executable;
    const char* HostList;
    friend void PrintTo(const TPathCase& C, std::ostream* Os) { *Os << C.Executable; }
};

class PathRule : public ::testing::TestWithParam<TPathCase> {};

TEST_P(PathRule, ReplacesTheExtensionOfTheFinalComponent) {
    EXPECT_EQ(HostListPathFor(GetParam().Executable), GetParam().HostList);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PathRule,
    ::testing::Values(TPathCase{"/opt/tools/vexlo.exe", "/opt/tools/vexlo.txt"},
                      TPathCase{"/opt/tools.old/vexlo", "/opt/tools.old/vexlo.txt"},
                      TPathCase{"/opt/vexlo.tar.gz", "/opt/vexlo.tar.txt"},
                      TPathCase{"/opt/vexlo.", "/opt/vexlo.txt"},
                      TPathCase{"/opt/.vexlo", "/opt/.txt"}, TPathCase{"vexlo", "vexlo.txt"}));

TEST(PathRule, TheRunningExecutableGivesItsOwnTextFile) {
    const std::string Path = HostListPath();
    EXPECT_TRUE(Path.ends_with("hosts_tests.txt")) << Path;
    EXPECT_TRUE(std::filesystem::path(Path).is_absolute()) << Path;
}

TEST(LoadAndSave, WithoutAFileTheListHoldsTheDefaultEntryAndTheFirstSaveWritesIt) {
    TTempFolder Folder;
    THostListFile File(Folder / "vexlo.txt");
    THostList List;
    File.Load(List);
    ASSERT_EQ(List.Count(), 1u);
    EXPECT_EQ(List.Line(0), "127.0.0.1=Localhost");
    File.Save(List);
    EXPECT_EQ(ReadBytes(Folder / "vexlo.txt"), "127.0.0.1=Localhost\r\n");
    EXPECT_EQ(Folder.Names(), std::set<std::string>{"vexlo.txt"}); // no temporary file left
}

TEST(LoadAndSave, AFolderAtThePathCountsAsNoFile) {
    TTempFolder Folder;
    std::filesystem::create_directory(Folder / "vexlo.txt");
    THostList List;
    THostListFile(Folder / "vexlo.txt").Load(List);
    EXPECT_EQ(List.Bytes(), "127.0.0.1=Localhost\r\n");
}

TEST(LoadAndSave, AnEmptyListNeverTouchesTheFile) {
    TTempFolder Folder;
    const std::string Path = Folder / "vexlo.txt";
    WriteBytes(Path, "");
    THostListFile File(Path);
    THostList List;
    File.Load(List);
    EXPECT_EQ(List.Count(), 0u);
    File.Save(List);
    EXPECT_EQ(ReadBytes(Path), "");

    // Every entry deleted: the file keeps the old entries for the next start.
    WriteBytes(Path, "a=1\r\n");
    File.Load(List);
    List.Delete(0);
    File.Save(List);
    EXPECT_EQ(ReadBytes(Path), "a=1\r\n");

    THostListFile(Folder / "none.txt").Save(THostList());
    EXPECT_FALSE(std::filesystem::exists(Folder / "none.txt"));
}

TEST(LoadAndSave, EveryByteComesBackWithCrLfLineEnds) {
    TTempFolder Folder;
    const std::string Path = Folder / "vexlo.txt";
    // Zero bytes, a byte-order mark and bytes that are not UTF-8, with mixed line ends.
    WriteBytes(Path, "\xEF\xBB\xBFx\0y=\xFF\nServer\r\n\r\0\0=z\rlast"s);
    THostListFile File(Path);
    THostList List;
    File.Load(List);
    EXPECT_EQ(List.Count(), 5u);
    File.Save(List);
    EXPECT_EQ(ReadBytes(Path), "\xEF\xBB\xBFx\0y=\xFF\r\nServer\r\n\r\n\0\0=z\r\nlast\r\n"s);
}

TEST(LoadAndSave, AFileThatCannotBeCreatedIsReportedAndNothingIsLeft) {
    TTempFolder Folder;
    const std::string Path = (Folder.Path() / "missing" / "vexlo.txt").string();
    THostList List;
    List.Append("a=1");
    try {
        THostListFile(Path).Save(List);
        FAIL() << "no exception";
    } catch (const EFCreateError& E) {
        const std::string Message = E.what();
        const std::string Head = "Cannot create file \"" + Path + "\". ";
        EXPECT_EQ(Message.substr(0, Head.size()), Head);
        // The system's text, without its full stop or line end.
        EXPECT_GT(Message.size(), Head.size());
        EXPECT_NE(Message.back(), '.');
        EXPECT_NE(Message.back(), '\n');
    }
    EXPECT_TRUE(Folder.Names().empty());
}

TEST(Errors, TheSystemTextLosesTrailingBlanksLineEndsAndFullStops) {
    EXPECT_STREQ(EFOpenError("C:\\a.txt", "Access is denied. \r\n").what(),
                 "Cannot open file \"C:\\a.txt\". Access is denied");
    EXPECT_STREQ(EFCreateError("/a.txt", "No such file or directory").what(),
                 "Cannot create file \"/a.txt\". No such file or directory");
    EXPECT_STREQ(EWriteError().what(), "Stream write error");
}

} // namespace
