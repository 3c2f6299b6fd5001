// What only Windows has: drive letters, backslashes, and a file that others may be denied.
// Runs under Wine.
#include "TempFolder.h"
#include "hosts/HostList.h"
#include "hosts/HostListErrors.h"
#include "hosts/HostListFile.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

namespace {

struct TPathCase {
    const char* Executable;
    const char* HostList;
    friend void PrintTo(const TPathCase& C, std::ostream* Os) { *Os << C.Executable; }
};

class WinPathRule : public ::testing::TestWithParam<TPathCase> {};

TEST_P(WinPathRule, ReplacesTheExtensionOfTheFinalComponent) {
    EXPECT_EQ(HostListPathFor(GetParam().Executable), GetParam().HostList);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, WinPathRule,
    ::testing::Values(TPathCase{"D:\\Tools\\vexlo.exe", "D:\\Tools\\vexlo.txt"},
                      TPathCase{"D:\\Tools.old\\vexlo", "D:\\Tools.old\\vexlo.txt"},
                      TPathCase{"D:/Tools.old\\vexlo", "D:/Tools.old\\vexlo.txt"},
                      TPathCase{"\\\\server\\share.1\\vexlo", "\\\\server\\share.1\\vexlo.txt"},
                      TPathCase{"D:vexlo", "D:vexlo.txt"}));

TEST(WinPathRule, TheRunningExecutableGivesItsTextFileBesideIt) {
    char Exe[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, Exe, MAX_PATH);
    const std::string Path = HostListPath();
    EXPECT_EQ(Path, std::string(Exe, std::strlen(Exe) - 4) + ".txt");
    EXPECT_EQ(Path[1], ':') << Path;
}

TEST(WinFile, LoadsAndSavesThroughADrivePathWithAFolderWithADot) {
    TTempFolder Folder;
    std::filesystem::create_directory(Folder.Path() / "Tools.old");
    const std::string Path = HostListPathFor(Folder.Path().string() + "\\Tools.old\\vexlo.exe");
    ASSERT_EQ(Path, Folder.Path().string() + "\\Tools.old\\vexlo.txt");
    ASSERT_EQ(Path[1], ':');
    WriteBytes(Path, "a=1\nb=2");
    THostListFile File(Path);
    THostList List;
    File.Load(List);
    List.Append("c=3");
    File.Save(List);
    EXPECT_EQ(ReadBytes(Path), "a=1\r\nb=2\r\nc=3\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Folder.Path() / "Tools.old"),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(WinFile, AFileSomeoneWritesIsNotReadAndNeverWrittenOver) {
    TTempFolder Folder;
    const std::string Path = Folder / "vexlo.txt";
    WriteBytes(Path, "mine=1\r\n");
    // Another program holds the file open for writing: reading it with writing denied fails.
    const HANDLE Writer =
        ::CreateFileA(Path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(Writer, INVALID_HANDLE_VALUE);
    THostListFile File(Path);
    THostList List;
    try {
        File.Load(List);
        ADD_FAILURE() << "no exception";
    } catch (const EFOpenError& E) {
        // Wine's texts differ from Windows'; only the frame is fixed.
        const std::string Head = "Cannot open file \"" + Path + "\". ";
        EXPECT_EQ(std::string(E.what()).substr(0, Head.size()), Head);
    }
    ::CloseHandle(Writer);
    EXPECT_EQ(List.Count(), 0u);
    List.Append("typed=later");
    File.Save(List);
    EXPECT_EQ(ReadBytes(Path), "mine=1\r\n");
}

TEST(WinFile, AReadOnlyFileIsNotReplaced) {
    TTempFolder Folder;
    const std::string Path = Folder / "vexlo.txt";
    WriteBytes(Path, "mine=1\r\n");
    ::SetFileAttributesA(Path.c_str(), FILE_ATTRIBUTE_READONLY);
    THostList List;
    List.Append("a=1");
    EXPECT_THROW(THostListFile(Path).Save(List), EFCreateError);
    ::SetFileAttributesA(Path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadBytes(Path), "mine=1\r\n");
    EXPECT_EQ(Folder.Names(), std::set<std::string>{"vexlo.txt"});
}

} // namespace
