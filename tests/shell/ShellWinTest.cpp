// Finding and restoring another copy's window among real top-level windows of the system's
// window manager (Wine's, in the cross build).
#include "app/Shell.h"

#include <gtest/gtest.h>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

namespace {

class TTitledWindow {
  public:
    explicit TTitledWindow(const char* ATitle) {
        static const ATOM Class = [] {
            WNDCLASSA C{};
            C.lpfnWndProc = DefWindowProcA;
            C.hInstance = GetModuleHandleA(nullptr);
            C.lpszClassName = "VexloShellTest";
            return RegisterClassA(&C);
        }();
        FWindow = CreateWindowExA(0, MAKEINTATOM(Class), ATitle, WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                  100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ShowWindow(FWindow, SW_MINIMIZE);
    }
    ~TTitledWindow() { DestroyWindow(FWindow); }
    TTitledWindow(const TTitledWindow&) = delete;
    TTitledWindow& operator=(const TTitledWindow&) = delete;
    HWND Get() const { return FWindow; }

  private:
    HWND FWindow = nullptr;
};

TEST(ShellWin, RestoresAMinimisedWindowWhoseTitleDiffersOnlyInCase) {
    const TTitledWindow Window("VEXLO");
    ASSERT_NE(Window.Get(), nullptr) << "no window: has Wine a display?";
    ASSERT_TRUE(IsIconic(Window.Get()));

    EXPECT_TRUE(Shell::RestoreWindowTitled("Vexlo"));

    EXPECT_FALSE(IsIconic(Window.Get()));
    EXPECT_TRUE(IsWindowVisible(Window.Get()));
}

TEST(ShellWin, FindsNothingWithoutAWindowOfThatTitle) {
    const TTitledWindow Longer("Vexlo 2");
    const TTitledWindow Untitled("");
    ASSERT_NE(Longer.Get(), nullptr) << "no window: has Wine a display?";

    EXPECT_FALSE(Shell::RestoreWindowTitled("Vexlo"));
    EXPECT_FALSE(Shell::RestoreWindowTitled(""));

    EXPECT_TRUE(IsIconic(Longer.Get()));
    EXPECT_TRUE(IsIconic(Untitled.Get()));
}

} // namespace
