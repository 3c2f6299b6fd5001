#include "hosts/HostList.h"

#include <gtest/gtest.h>

#include <clocale>
#include <vector>

using namespace std::string_literals;

namespace {
using TLines = std::vector<std::string>;

THostList ListOf(const std::string& ABytes) {
    THostList List;
    List.Assign(ABytes);
    return List;
}

class Reading : public ::testing::TestWithParam<std::pair<std::string, TLines>> {};

TEST_P(Reading, SplitsAtEveryLineEndAndWritesCrLfAfterEachLine) {
    const auto& [Bytes, Expected] = GetParam();
    const THostList List = ListOf(Bytes);
    TLines Lines;
    std::string Saved;
    for (std::size_t I = 0; I < List.Count(); ++I) {
        Lines.emplace_back(List.Line(I));
        Saved += Expected.at(I) + "\r\n";
    }
    EXPECT_EQ(Lines, Expected);
    EXPECT_EQ(List.Bytes(), Saved);
}

INSTANTIATE_TEST_SUITE_P(
    Files, Reading,
    ::testing::Values(std::pair{""s, TLines{}}, std::pair{"a=1\r\nb=2\r\n"s, TLines{"a=1", "b=2"}},
                      std::pair{"a=1\nb=2\n"s, TLines{"a=1", "b=2"}},
                      std::pair{"a=1\rb=2\r"s, TLines{"a=1", "b=2"}},
                      std::pair{"a=1\r\nb=2"s, TLines{"a=1", "b=2"}},
                      std::pair{"\r\n"s, TLines{""}},
                      std::pair{"a\n\nb\r\r\nc\n\r"s, TLines{"a", "", "b", "", "c", ""}},
                      // A zero byte is a byte of its line; a byte-order mark is part of the first.
                      std::pair{"a\0b=c\r\n\0\r\nd"s, TLines{"a\0b=c"s, "\0"s, "d"}},
                      std::pair{"\xEF\xBB\xBFx=y\r\n"s, TLines{"\xEF\xBB\xBFx=y"}},
                      std::pair{"\xFF\xFE=\xC3\r\n\x80"s, TLines{"\xFF\xFE=\xC3", "\x80"}}));

class Parts
    : public ::testing::TestWithParam<std::tuple<const char*, const char*, const char*, bool>> {};

TEST_P(Parts, SplitAtTheFirstEqualsSign) {
    const auto& [Line, Address, Name, Empty] = GetParam();
    const THostList List = ListOf(Line + "\n"s);
    EXPECT_EQ(List.Address(0), Address);
    EXPECT_EQ(List.DisplayName(0), Name);
    EXPECT_EQ(List.IsEmptyEntry(0), Empty);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, Parts,
    ::testing::Values(std::tuple{"10.0.0.1=Router=main", "10.0.0.1", "Router=main", false},
                      std::tuple{"Server", "", "Server", false}, std::tuple{"=", "", "", true},
                      std::tuple{"", "", "", true}, std::tuple{"x=", "x", "", false}));

class Lookup : public ::testing::TestWithParam<std::pair<std::string, std::optional<std::string>>> {
};

TEST_P(Lookup, GivesTheFirstMatchingEntrysAddress) {
    const THostList List = ListOf("127.0.0.1=Localhost\nServer\n10.0.0.1=Router=main\n"
                                  "fileserver=Files\n1.1.1.1=Twin\n2.2.2.2=twin\nz=a\0b\n=\n"s);
    EXPECT_EQ(List.LookupDisplayName(GetParam().first), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(
    Names, Lookup,
    ::testing::Values(std::pair{"LOCALHOST"s, "127.0.0.1"s},
                      // A line without "=": the lookup name starts at its second character.
                      std::pair{"erver"s, ""s}, std::pair{"Server"s, std::nullopt},
                      std::pair{"router=MAIN"s, "10.0.0.1"s}, std::pair{"Files"s, "fileserver"s},
                      std::pair{"TWIN"s, "1.1.1.1"s}, std::pair{"A\0B"s, "z"s},
                      std::pair{"a\0c"s, std::nullopt}, std::pair{""s, ""s},
                      std::pair{" Localhost"s, std::nullopt},
                      std::pair{"Localhos"s, std::nullopt}));

TEST(Lookup, IgnoresCaseInTheUsersLocaleBeyondAscii) {
    const std::string Saved = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "C.UTF-8") == nullptr) {
        GTEST_SKIP() << "no C.UTF-8 locale";
    }
    // The Kelvin sign lowers to "k": texts of different lengths in bytes can be equal.
    const THostList List = ListOf("1=\xC3\x84rger\n2=\xE2\x84\xAA\n3=ab\n");
    EXPECT_EQ(List.LookupDisplayName("\xC3\xA4RGER"), "1");
    EXPECT_EQ(List.LookupDisplayName("k"), "2");
    EXPECT_EQ(List.LookupDisplayName("ab\xC3\xA4"), std::nullopt);
    std::setlocale(LC_ALL, Saved.c_str());
}

TEST(Editing, LinesNobodyEditedStayByteForByte) {
    THostList List = ListOf("a\nb=\xFF\nc");
    List.Insert(1, "=");
    List.SetAddress(2, "x");
    List.Delete(3);
    List.Append("d=4");
    EXPECT_EQ(List.Bytes(), "a\r\n=\r\nx=\xFF\r\nd=4\r\n");
    THostList Moved(std::move(List));
    EXPECT_EQ(List.Count(), 0u); // a moved-from list is empty, and usable
}
} // namespace
