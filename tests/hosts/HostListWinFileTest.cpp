// What only Windows has: drive letters, backslashes, a file that others may be denied, the
// read-only mark. Runs under Wine.
#include "hosts/HostList.h"
#include "hosts/HostListErrors.h"
#include "hosts/HostListFile.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

class WinPathRule : public ::testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(WinPathRule, ReplacesTheExtensionOfTheFinalComponent) {
    EXPECT_EQ(HostListPathFor(GetParam().first), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, WinPathRule,
    ::testing::Values(std::pair{"D:\\Tools\\vexlo.exe", "D:\\Tools\\vexlo.txt"},
                      std::pair{"D:\\Tools.old\\vexlo", "D:\\Tools.old\\vexlo.txt"},
                      std::pair{"D:/Tools.old\\vexlo", "D:/Tools.old\\vexlo.txt"},
                      std::pair{"\\\\server\\share.1\\vexlo", "\\\\server\\share.1\\vexlo.txt"},
                      std::pair{"D:vexlo", "D:vexlo.txt"}));

TEST(WinFile, LoadsAndSavesBesideTheExecutableThroughAFolderWithADot) {
    char Exe[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, Exe, MAX_PATH);
    EXPECT_EQ(HostListPath(), std::string(Exe).substr(0, std::string(Exe).size() - 4) + ".txt");

    TTempFolder Folder;
    std::filesystem::create_directory(Folder.Path() / "Tools.old");
    const std::string Path = HostListPathFor(Folder / "Tools.old\\vexlo.exe");
    ASSERT_EQ(Path[1], ':') << Path;
    ASSERT_TRUE(Path.ends_with("\\Tools.old\\vexlo.txt")) << Path;
    WriteBytes(Path, "a=1\nb=2");
    THostListFile File(Path);
    THostList List;
    File.Load(List);
    File.Save(List);
    EXPECT_EQ(ReadBytes(Path), "a=1\r\nb=2\r\n");
}

TEST(WinFile, AFileSomeoneWritesIsNotReadAndNeverWrittenOver) {
    TTempFolder Folder;
    const std::string Path = Folder / "vexlo.txt";
    WriteBytes(Path, "mine=1\r\n");
    // Another program has the file open for writing: reading it with writing denied fails.
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
        // Wine's system texts are not Windows'; the frame is fixed.
        EXPECT_EQ(std::string(E.what()).rfind("Cannot open file \"" + Path + "\". ", 0), 0u);
    }
    ::CloseHandle(Writer);
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
