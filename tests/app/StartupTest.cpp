// What the program decides before its application object exists.
#include "app/Startup.h"

#include <QByteArray>
#include <QtGlobal>
#include <gtest/gtest.h>
#include <sstream>

namespace {

TEST(Startup, LacksADisplayOnlyWhenEveryPlatformQtWouldTryNeedsOneAndNoneIsNamed) {
    const struct {
        const char* Platform;
        const char* Display;
        const char* Wayland;
        bool Lacks;
    } Cases[] = {
        {nullptr, nullptr, nullptr, true},
        {"", "", "", true},
        {"xcb", nullptr, nullptr, true},
        {"wayland-egl", nullptr, nullptr, true},
        {"xcb:nograb;wayland", nullptr, nullptr, true},
        {nullptr, ":0", nullptr, false},
        {nullptr, nullptr, "wayland-0", false},
        // The tests' own platform, and a list that falls back to one.
        {"offscreen", nullptr, nullptr, false},
        {"xcb;offscreen", nullptr, nullptr, false},
        {"vnc:size=640x480", nullptr, nullptr, false},
    };
    for (const auto& C : Cases) {
        EXPECT_EQ(Startup::LacksDisplay(C.Platform, C.Display, C.Wayland), C.Lacks)
            << (C.Platform ? C.Platform : "(unset)") << " " << (C.Display ? C.Display : "(unset)")
            << " " << (C.Wayland ? C.Wayland : "(unset)");
    }
}

TEST(Startup, AMissingDisplayIsOneLineNamingBothVariablesAndExitCodeOne) {
    const QByteArray Saved[] = {qgetenv("QT_QPA_PLATFORM"), qgetenv("DISPLAY"),
                                qgetenv("WAYLAND_DISPLAY")};
    qunsetenv("QT_QPA_PLATFORM");
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    std::ostringstream Err;
    const auto Code = Startup::ReportMissingDisplay(Err);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::ostringstream Quiet;
    const auto None = Startup::ReportMissingDisplay(Quiet);
    int I = 0;
    for (const char* Name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        if (!Saved[I++].isNull()) {
            qputenv(Name, Saved[I - 1]);
        } else {
            qunsetenv(Name);
        }
    }
    EXPECT_EQ(Code, 1);
    EXPECT_EQ(Err.str(), "vexlo: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set)\n");
    EXPECT_EQ(None, std::nullopt);
    EXPECT_EQ(Quiet.str(), "");
}

} // namespace
