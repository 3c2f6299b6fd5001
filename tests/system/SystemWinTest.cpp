// The Windows system file, under Wine: the system's own messages, untrimmed.
#include "system/System.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(ErrorMessageWin, IsTheSystemsTextOrEmpty) {
    // Wine's texts differ from Windows' own: only their shape is asserted.
    for (const uint32_t Code : {2u, 5u, 126u}) {
        SCOPED_TRACE(Code);
        const std::string Text = System::ErrorMessage(Code);
        ASSERT_FALSE(Text.empty());
        EXPECT_EQ(Text.back(), '\n') << "the system's line end is kept";
    }
    // Codes with the customer bit set are never in the system's table.
    EXPECT_EQ(System::ErrorMessage(0x2000FFFFu), "");
}

} // namespace
