// The file against real files, on every platform. What needs a platform's own means (links,
// permissions, sharing, drive letters) is in HostListPosixFileTest.cpp and
// HostListWinFileTest.cpp.
#include "hosts/HostListFile.h"
#include "hosts/HostList.h"
#include "hosts/HostListErrors.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

using namespace std::string_literals;

namespace {

class PathRule : public ::testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(PathRule, ReplacesTheExtensionOfTheFinalComponent) {
    EXPECT_EQ(HostListPathFor(GetParam().first), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PathRule,
    ::testing::Values(std::pair{"/opt/tools/vexlo.exe", "/opt/tools/vexlo.txt"},
                      std::pair{"/opt/tools.old/vexlo", "/opt/tools.old/vexlo.txt"},
                      std::pair{"/opt/vexlo.tar.gz", "/opt/vexlo.tar.txt"},
                      std::pair{"/opt/.vexlo", "/opt/.txt"}, std::pair{"vexlo", "vexlo.txt"}));

TEST(PathRule, TheRunningExecutableGivesItsOwnTextFile) {
    // Beside it, or, in a folder this user may not write, the one the user's own list starts
    // from.
    const THostListPlace Place = HostListPlace();
    const std::string Beside = Place.StartFrom.empty() ? Place.Path : Place.StartFrom;
    EXPECT_TRUE(Beside.ends_with("hosts_tests.txt")) << Beside;
    EXPECT_TRUE(std::filesystem::path(Beside).is_absolute()) << Beside;
}

TEST(LoadAndSave, WithoutAFileTheListHoldsTheDefaultEntryAndTheFirstSaveWritesIt) {
    TTempFolder Folder;
    std::filesystem::create_directory(Folder / "folder.txt"); // a folder is no file
    for (const std::string Name : {"vexlo.txt", "folder.txt"}) {
        THostList List;
        THostListFile(Folder / Name).Load(List);
        EXPECT_EQ(List.Bytes(), "127.0.0.1=Localhost\r\n");
    }
    THostList List;
    THostListFile File(Folder / "vexlo.txt");
    File.Load(List);
    File.Save(List);
    EXPECT_EQ(ReadBytes(Folder / "vexlo.txt"), "127.0.0.1=Localhost\r\n");
    EXPECT_EQ(Folder.Names(), (std::set<std::string>{"folder.txt", "vexlo.txt"}));
}

TEST(LoadAndSave, AnEmptyListNeverTouchesTheFile) {
    TTempFolder Folder;
    const std::string Path = Folder / "vexlo.txt";
    for (const std::string Bytes : {"", "a=1\r\n"}) { // an empty file; every entry deleted
        WriteBytes(Path, Bytes);
        THostListFile File(Path);
        THostList List;
        File.Load(List);
        List.Clear();
        File.Save(List);
        EXPECT_EQ(ReadBytes(Path), Bytes);
    }
    THostListFile(Folder / "none.txt").Save(THostList());
    EXPECT_FALSE(std::filesystem::exists(Folder / "none.txt"));
}

TEST(LoadAndSave, EveryByteComesBackInOrderWithCrLfLineEnds) {
    // Zero bytes, a byte-order mark, bytes that are not UTF-8 and mixed line ends, with runs
    // of unedited lines far longer than the save's write buffer between edited ones.
    std::string Run;
    for (int I = 0; I < 20000; ++I) {
        Run += "10.0.0.1=a name of some length\r\n";
    }
    TTempFolder Folder;
    const std::string Path = Folder / "vexlo.txt";
    WriteBytes(Path, "\xEF\xBB\xBFx\0y=\xFF\n"s + Run + "Server\r\r\0\0=z\n"s + Run + "last");
    THostListFile File(Path);
    THostList List;
    File.Load(List);
    List.Insert(0, "first=1");
    List.SetDisplayName(2, "edited");
    File.Save(List);
    // Compared whole: gtest's diff of megabytes of text takes minutes.
    EXPECT_TRUE(ReadBytes(Path) == "first=1\r\n\xEF\xBB\xBFx\0y=\xFF\r\n10.0.0.1=edited\r\n"s +
                                       Run.substr(32) + "Server\r\n\r\n\0\0=z\r\n"s + Run +
                                       "last\r\n");
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
        const std::string Message = E.what(), Head = "Cannot create file \"" + Path + "\". ";
        EXPECT_EQ(Message.substr(0, Head.size()), Head);
        EXPECT_GT(Message.size(), Head.size());
        EXPECT_EQ(std::string(" .\r\n").find(Message.back()), std::string::npos) << Message;
    }
    EXPECT_TRUE(Folder.Names().empty());
}

TEST(Errors, TheSystemTextLosesTrailingBlanksLineEndsAndFullStops) {
    EXPECT_STREQ(EFOpenError("C:\\a.txt", "Access is denied. \r\n").what(),
                 "Cannot open file \"C:\\a.txt\". Access is denied");
    EXPECT_STREQ(EFCreateError("/a", "Is a directory").what(),
                 "Cannot create file \"/a\". Is a directory");
    EXPECT_STREQ(EWriteError().what(), "Stream write error");
}

} // namespace
