#include "tests/support/GuiTestMain.h"

#include <gtest/gtest.h>

// Sets the platform itself, so that test discovery and a plain run from a
// shell need no display either.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);
    const std::unique_ptr<QApplication> App = MakeTestApplication(argc, argv);
    return RUN_ALL_TESTS();
}
