// The POSIX system file: the user's locale decides beyond ASCII, and errno has its texts.
#include "system/System.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <string>

namespace {

// The locale for the length of one test, put back afterwards.
class TLocaleScope {
  public:
    explicit TLocaleScope(const char* AName)
        : FSaved(std::setlocale(LC_ALL, nullptr)), FSet(std::setlocale(LC_ALL, AName) != nullptr) {}
    TLocaleScope(const TLocaleScope&) = delete;
    TLocaleScope& operator=(const TLocaleScope&) = delete;
    ~TLocaleScope() { std::setlocale(LC_ALL, FSaved.c_str()); }
    bool Set() const { return FSet; }

  private:
    std::string FSaved;
    bool FSet;
};

struct TLocaleCase {
    const char* What;
    std::string A, B;
    bool Same;
};

TEST(SameTextLocalePosix, FoldsBeyondAsciiInAUtf8Locale) {
    const TLocaleScope Locale("C.UTF-8");
    if (!Locale.Set()) {
        GTEST_SKIP() << "no C.UTF-8 locale";
    }
    const TLocaleCase Cases[] = {
        {"umlauts", "\xC3\xA4rger", "\xC3\x84RGER", true},
        {"ASCII first, then the locale", "ab\xC3\xA4", "AB\xC3\x84", true},
        {"the Kelvin sign lowers to k: equal texts of different lengths", "k", "\xE2\x84\xAA",
         true},
        {"a longer ASCII tail", "ab\xC3\xA4x", "AB\xC3\x84", false},
        {"different letters", "\xC3\xA4", "\xC3\xB6", false},
        {"invalid UTF-8 compares byte for byte, ASCII folded",
         "\xFF"
         "abc",
         "\xFF"
         "ABC",
         true},
        {"invalid UTF-8, other bytes",
         "\xFF"
         "abc",
         "\xFE"
         "abc",
         false},
        {"a cut sequence is invalid too", "a\xC3", "A\xC3", true},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.What);
        EXPECT_EQ(System::SameTextLocale(Case.A, Case.B), Case.Same);
        EXPECT_EQ(System::SameTextLocale(Case.B, Case.A), Case.Same);
    }
}

TEST(SameTextLocalePosix, TheCLocaleFoldsOnlyAscii) {
    const TLocaleScope Locale("C");
    ASSERT_TRUE(Locale.Set());
    EXPECT_FALSE(System::SameTextLocale("\xC3\xA4", "\xC3\x84"));
    EXPECT_TRUE(System::SameTextLocale("\xC3\xA4x", "\xC3\xA4X"));
}

TEST(ErrorMessagePosix, IsTheCLibrarysTextForTheErrno) {
    const TLocaleScope Locale("C");
    ASSERT_TRUE(Locale.Set());
    EXPECT_EQ(System::ErrorMessage(ENOENT), "No such file or directory");
    EXPECT_EQ(System::ErrorMessage(EACCES), "Permission denied");
    EXPECT_EQ(System::ErrorMessage(EHOSTUNREACH), "No route to host");
}

} // namespace
