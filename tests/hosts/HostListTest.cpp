#include "hosts/HostList.h"
#include "hosts/HostListErrors.h"

#include <gtest/gtest.h>

#include <vector>

using namespace std::string_literals;

namespace {

std::vector<std::string> Lines(const THostList& AList) {
    std::vector<std::string> Result;
    for (std::size_t I = 0; I < AList.Count(); ++I) {
        Result.emplace_back(AList.Line(I));
    }
    return Result;
}

THostList ListOf(const std::string& ABytes) {
    THostList List;
    List.Assign(ABytes);
    return List;
}

struct TReadCase {
    const char* Name;
    std::string Bytes;
    std::vector<std::string> Lines;
    friend void PrintTo(const TReadCase& C, std::ostream* Os) { *Os << C.Name; }
};

class Reading : public ::testing::TestWithParam<TReadCase> {};

TEST_P(Reading, SplitsAtEveryLineEndAndWritesCrLfAfterEachLine) {
    const THostList List = ListOf(GetParam().Bytes);
    EXPECT_EQ(Lines(List), GetParam().Lines);
    std::string Expected;
    for (const auto& Line : GetParam().Lines) {
        Expected += Line + "\r\n";
    }
    EXPECT_EQ(List.Bytes(), Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, Reading,
    ::testing::Values(
        TReadCase{"Empty", "", {}},
        TReadCase{"CrLf", "a=1\r\nb=2\r\n", {"a=1", "b=2"}},
        TReadCase{"LfOnly", "a=1\nb=2\n", {"a=1", "b=2"}},
        TReadCase{"CrOnly", "a=1\rb=2\r", {"a=1", "b=2"}},
        TReadCase{"NoFinalLineEnd", "a=1\r\nb=2", {"a=1", "b=2"}},
        TReadCase{"OneLineEndIsOneEmptyEntry", "\r\n", {""}},
        TReadCase{"EmptyLines", "a\n\nb\r\r\nc\n\r", {"a", "", "b", "", "c", ""}},
        TReadCase{"ZeroBytesAreBytesOfTheirLine", "a\0b=c\r\n\0\r\nd"s, {"a\0b=c"s, "\0"s, "d"}},
        TReadCase{"ByteOrderMarkIsPartOfTheFirstLine", "\xEF\xBB\xBFx=y\r\n", {"\xEF\xBB\xBFx=y"}},
        TReadCase{"NotUtf8", "\xFF\xFE=\xC3\r\n\x80", {"\xFF\xFE=\xC3", "\x80"}}));

struct TPartsCase {
    const char* Line;
    const char* Address;
    const char* Name;
    bool Empty;
    friend void PrintTo(const TPartsCase& C, std::ostream* Os) { *Os << '"' << C.Line << '"'; }
};

class Parts : public ::testing::TestWithParam<TPartsCase> {};

TEST_P(Parts, SplitAtTheFirstEqualsSign) {
    const THostList List = ListOf(GetParam().Line);
    ASSERT_EQ(List.Count(), 1u);
    EXPECT_EQ(List.Address(0), GetParam().Address);
    EXPECT_EQ(List.DisplayName(0), GetParam().Name);
    EXPECT_EQ(List.IsEmptyEntry(0), GetParam().Empty);
}

INSTANTIATE_TEST_SUITE_P(Lines, Parts,
                         ::testing::Values(TPartsCase{"10.0.0.1=Router=main", "10.0.0.1",
                                                      "Router=main", false},
                                           TPartsCase{"Server", "", "Server", false},
                                           TPartsCase{"=", "", "", true},
                                           TPartsCase{"=x", "", "x", false},
                                           TPartsCase{"x=", "x", "", false}));

TEST(Parts, AnEmptyLineIsAnEmptyEntry) {
    const THostList List = ListOf("\n");
    EXPECT_TRUE(List.IsEmptyEntry(0));
}

struct TLookupCase {
    std::string Text;
    std::optional<std::string> Address;
    friend void PrintTo(const TLookupCase& C, std::ostream* Os) { *Os << '"' << C.Text << '"'; }
};

class Lookup : public ::testing::TestWithParam<TLookupCase> {};

TEST_P(Lookup, GivesTheFirstMatchingEntrysAddress) {
    const THostList List =
        ListOf("127.0.0.1=Localhost\nServer\n10.0.0.1=Router=main\nfileserver=Files\n"
               "1.1.1.1=Twin\n2.2.2.2=twin\nz=a\0b\n=\n"s);
    EXPECT_EQ(List.LookupDisplayName(GetParam().Text), GetParam().Address);
}

INSTANTIATE_TEST_SUITE_P(
    Names, Lookup,
    ::testing::Values(TLookupCase{"LOCALHOST", "127.0.0.1"},
                      // A line without "=": the lookup name starts at its second character.
                      TLookupCase{"erver", ""}, TLookupCase{"Server", std::nullopt},
                      TLookupCase{"router=MAIN", "10.0.0.1"}, TLookupCase{"Files", "fileserver"},
                      TLookupCase{"TWIN", "1.1.1.1"}, TLookupCase{"A\0B"s, "z"},
                      TLookupCase{"a\0c"s, std::nullopt}, TLookupCase{"", ""},
                      TLookupCase{" Localhost", std::nullopt},
                      TLookupCase{"Localhos", std::nullopt}));

TEST(Editing, ACellIsRebuiltWithTheOtherPartKeptByteForByte) {
    THostList List = ListOf("a=\xFF\xFE\nServer\nkeep\r\n");
    List.SetAddress(0, "b");
    List.SetAddress(1, "s");
    EXPECT_EQ(List.Bytes(), "b=\xFF\xFE\r\ns=Server\r\nkeep\r\n");
    List.SetDisplayName(1, "n=m");
    EXPECT_EQ(List.Line(1), "s=n=m");
}

TEST(Editing, AnAddressWithAnEqualsSignIsRefusedAndChangesNothing) {
    THostList List = ListOf("a=1");
    try {
        List.SetAddress(0, "a=");
        FAIL() << "no exception";
    } catch (const EKeyError& E) {
        EXPECT_STREQ(E.what(), "Key may not contain equals sign (\"=\")");
    }
    EXPECT_EQ(List.Line(0), "a=1");
}

TEST(Editing, InsertsAndDeletesLeaveOtherLinesAsTheyWere) {
    THostList List = ListOf("a\nb\nc");
    List.Insert(1, "=");
    List.Append("d=4");
    List.SetLine(0, "x");
    List.Delete(2);
    List.Insert(0, "y");
    EXPECT_EQ(Lines(List), (std::vector<std::string>{"y", "x", "=", "c", "d=4"}));
    List.Clear();
    EXPECT_EQ(List.Count(), 0u);
}

TEST(Editing, AMovedFromListIsEmptyAndUsable) {
    THostList A = ListOf("a");
    THostList B(std::move(A));
    EXPECT_EQ(A.Count(), 0u); // NOLINT(bugprone-use-after-move): the behaviour under test
    A.Append("b");
    EXPECT_EQ(Lines(A), std::vector<std::string>{"b"});
    EXPECT_EQ(Lines(B), std::vector<std::string>{"a"});
}

} // namespace
