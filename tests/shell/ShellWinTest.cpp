// Finding and restoring another copy's window among real top-level windows of the system's
// window manager (Wine's, in the cross build).
#include "app/Shell.h"

#include <gtest/gtest.h>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <memory>
#include <type_traits>

namespace {

using TWindow = std::unique_ptr<std::remove_pointer_t<HWND>, decltype(&DestroyWindow)>;

TWindow MakeMinimised(const char* ATitle) {
    static const ATOM Class = [] {
        WNDCLASSA C{};
        C.lpfnWndProc = DefWindowProcA;
        C.lpszClassName = "VexloShellTest";
        return RegisterClassA(&C);
    }();
    TWindow W(CreateWindowExA(0, MAKEINTATOM(Class), ATitle, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                              nullptr, nullptr, nullptr, nullptr),
              &DestroyWindow);
    EXPECT_NE(W, nullptr) << "no window: has Wine an X display?";
    ShowWindow(W.get(), SW_MINIMIZE);
    return W;
}

TEST(ShellWin, RestoresAMinimisedWindowWhoseTitleDiffersOnlyInCase) {
    const TWindow Window = MakeMinimised("VEXLO");
    ASSERT_TRUE(IsIconic(Window.get()));

    EXPECT_TRUE(Shell::RestoreWindowTitled("Vexlo"));

    EXPECT_FALSE(IsIconic(Window.get()));
    EXPECT_TRUE(IsWindowVisible(Window.get()));
}

TEST(ShellWin, FindsNothingWithoutAWindowOfThatTitle) {
    const TWindow Longer = MakeMinimised("Vexlo 2");
    const TWindow Untitled = MakeMinimised("");

    EXPECT_FALSE(Shell::RestoreWindowTitled("Vexlo"));
    EXPECT_FALSE(Shell::RestoreWindowTitled(""));

    EXPECT_TRUE(IsIconic(Longer.get()));
    EXPECT_TRUE(IsIconic(Untitled.get()));
}

} // namespace
