#include "net/IdConvert.h"
#include "net/IdException.h"

#include <gtest/gtest.h>

namespace {
struct TConvertCase {
    const char* Text;
    bool Converts;
    int32_t Value;
    friend void PrintTo(const TConvertCase& C, std::ostream* Os) { *Os << '"' << C.Text << '"'; }
};

class IntegerRule : public ::testing::TestWithParam<TConvertCase> {};

TEST_P(IntegerRule, ConvertsOrRefuses) {
    const auto& C = GetParam();
    int32_t Value = 12345;
    ASSERT_EQ(TryStrToInt(C.Text, Value), C.Converts) << '"' << C.Text << '"';
    if (C.Converts) {
        EXPECT_EQ(Value, C.Value) << '"' << C.Text << '"';
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, IntegerRule,
    ::testing::Values(
        TConvertCase{"7", true, 7}, TConvertCase{"  7", true, 7}, TConvertCase{"+7", true, 7},
        TConvertCase{"-0", true, 0}, TConvertCase{"010", true, 10}, TConvertCase{"0x1F", true, 31},
        TConvertCase{"0X1f", true, 31}, TConvertCase{"$ff", true, 255},
        TConvertCase{"x10", true, 16}, TConvertCase{"X10", true, 16}, TConvertCase{"-$1", true, -1},
        TConvertCase{"", false, 0}, TConvertCase{"7 ", false, 0}, TConvertCase{"1e2", false, 0},
        TConvertCase{"--7", false, 0}, TConvertCase{"+", false, 0}, TConvertCase{"$", false, 0},
        TConvertCase{"0x", false, 0}, TConvertCase{"-", false, 0}, TConvertCase{"\t7", false, 0},
        TConvertCase{" - 7", false, 0}, TConvertCase{"2147483647", true, INT32_MAX},
        TConvertCase{"2147483648", false, 0}, TConvertCase{"-2147483648", true, INT32_MIN},
        TConvertCase{"-2147483649", false, 0}, TConvertCase{"$FFFFFFFF", true, -1},
        TConvertCase{"$80000000", true, INT32_MIN}, TConvertCase{"$100000000", false, 0},
        TConvertCase{"99999999999999999999", false, 0},
        TConvertCase{"0x0000000000000001", true, 1}));

TEST(IntegerRule, StrToIntRaisesConvertErrorNamingThePiece) {
    try {
        StrToInt("1e2");
        FAIL() << "no exception";
    } catch (const EConvertError& E) {
        EXPECT_EQ(E.Message(), "'1e2' is not a valid integer value");
    }
    EXPECT_EQ(StrToIntDef("x", 9), 9);
}
} // namespace
