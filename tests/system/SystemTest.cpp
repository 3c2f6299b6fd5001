// What every platform's system file answers alike.
#include "system/System.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

TEST(SameTextLocale, IgnoresCaseOnly) {
    struct TCase {
        std::string A, B;
        bool Same;
    };
    const TCase Cases[] = {
        {"localhost", "LOCALHOST", true},
        {"LocalHost", "LOCALHOST", true},
        {"", "", true},
        {"localhost ", "LOCALHOST", false},
        {"localhos", "LOCALHOST", false},
        {std::string("LOCALHOST\0x", 11), "LOCALHOST", false},
        // Only letters fold: '@' and '`' differ from their neighbours by the case bit too.
        {"@[\\]^", "`{|}~", false},
        {"Router=Main", "rOUTER=mAIN", true},
        {std::string("a\0b", 3), std::string("A\0B", 3), true},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.A);
        EXPECT_EQ(System::SameTextLocale(Case.A, Case.B), Case.Same);
        EXPECT_EQ(System::SameTextLocale(Case.B, Case.A), Case.Same);
    }
}

TEST(ExecutablePath, IsTheRunningTestProgramsFullPath) {
    const std::filesystem::path Path = System::ExecutablePath();
    EXPECT_TRUE(Path.is_absolute()) << Path;
    EXPECT_EQ(Path.stem(), "system_tests") << Path;
    EXPECT_TRUE(std::filesystem::is_regular_file(Path)) << Path;
}

} // namespace
