#pragma once
// Checks several end-to-end tests make of what the screen shows.
#include "tests/e2e/E2eSupport.h"

#include <gtest/gtest.h>

namespace e2e {

// The status picture of the window at AOrigin is APicture: 1, the reply's with its green
// arrow; 0, neither arrow nor red disc.
inline void ExpectStatusPicture(const QImage& AScreen, QPoint AOrigin, int APicture) {
    const QRect Picture = StatusPictureBox.translated(AOrigin);
    const int Green = CountColour(AScreen, Picture, DarkGreen);
    const int RedDisc = CountColour(AScreen, Picture, Red);
    if (APicture == 1) {
        EXPECT_GE(Green, 8) << "the reply picture's arrow";
        EXPECT_EQ(RedDisc, 0);
    } else {
        EXPECT_EQ(Green + RedDisc, 0) << "picture 0 has neither arrow nor disc";
    }
}

} // namespace e2e
