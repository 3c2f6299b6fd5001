// Finding and restoring another copy's window on a real X server of each test's own, with
// windows made through raw Xlib as any toolkit makes them. Where a window manager matters,
// the test takes that role itself and records what it is asked to do.
#include "app/x11/ShellX11.h"
#include "tests/support/XServer.h"

#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using TText = std::optional<std::string>;

int IgnoreError(Display*, XErrorEvent*) {
    return 0;
}

class ShellX11Test : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::system("command -v Xvfb >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "Xvfb is not installed (package xvfb): no X server to test against";
        }
        FServer = std::make_unique<TXServer>(320, 240);
        ASSERT_EQ(FServer->Error(), "");
        setenv("DISPLAY", FServer->Name().c_str(), 1);
        X = XOpenDisplay(nullptr);
        ASSERT_NE(X, nullptr) << "Xvfb did not start";
        Root = DefaultRootWindow(X);
    }
    void TearDown() override {
        if (X != nullptr) {
            XCloseDisplay(X);
        }
        FServer.reset();
    }

    Atom Intern(const char* AName) { return XInternAtom(X, AName, False); }
    Window Make(TText ANetName, TText AName = {}, bool AClass = true, Window AParent = 0) {
        const Window W = XCreateSimpleWindow(X, AParent ? AParent : Root, 0, 0, 40, 30, 0, 0, 0);
        auto Text = [&](Atom AProperty, Atom AType, const std::string& AText) {
            XChangeProperty(X, W, AProperty, AType, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(AText.data()),
                            static_cast<int>(AText.size()));
        };
        if (ANetName) {
            Text(Intern("_NET_WM_NAME"), Intern("UTF8_STRING"), *ANetName);
        }
        if (AName) {
            Text(XA_WM_NAME, XA_STRING, *AName);
        }
        if (AClass) {
            Text(XA_WM_CLASS, XA_STRING, std::string("vexlo\0Vexlo\0", 12));
        }
        return W;
    }
    void Set(Window AWindow, const char* AName, Atom AType, std::vector<long> AValues) {
        XChangeProperty(X, AWindow, Intern(AName), AType, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(AValues.data()),
                        static_cast<int>(AValues.size()));
    }
    bool Viewable(Window AWindow) {
        XWindowAttributes A{};
        return XGetWindowAttributes(X, AWindow, &A) != 0 && A.map_state == IsViewable;
    }
    Window Focus() {
        Window W = 0;
        int Revert = 0;
        XGetInputFocus(X, &W, &Revert);
        return W;
    }
    long Vanished() {
        const Window W = Make({}, {}, false);
        XDestroyWindow(X, W);
        return static_cast<long>(W);
    }

    std::unique_ptr<TXServer> FServer;
    Display* X = nullptr;
    Window Root = 0;
};

TEST_F(ShellX11Test, WithoutAWindowManagerMapsAndFocusesTheWindowAndPassesOverClasslessOnes) {
    // Qt's client leader looks like these; whichever end a walk starts from, it meets one.
    const Window Lower = Make({}, "Vexlo", false);
    const Window Real = Make("VEXLO");
    const Window Upper = Make("Vexlo", {}, false);
    XSync(X, False);

    ASSERT_TRUE(Shell::RestoreWindowTitled("Vexlo"));

    EXPECT_TRUE(Viewable(Real));
    EXPECT_EQ(Focus(), Real);
    EXPECT_FALSE(Viewable(Lower));
    EXPECT_FALSE(Viewable(Upper));
}

TEST_F(ShellX11Test, OnlyATitleEqualIgnoringCaseIsFoundAndNothingElseChanges) {
    struct TCase {
        const char* What;
        TText NetName;
        TText Name;
        std::string Query;
        bool Found;
    };
    const TCase Cases[] = {
        {"WM_NAME when there is no _NET_WM_NAME", {}, "vExLo", "Vexlo", true},
        {"_NET_WM_NAME wins over WM_NAME", "Other", "Vexlo", "Vexlo", false},
        {"a longer title", "Vexlo 2", {}, "Vexlo", false},
        {"a shorter title", "Vexl", {}, "Vexlo", false},
        // Read only as far as one unit past the title: what lies beyond must still tell.
        {"a title longer than the part read", "VexlVexlVexl", {}, "Vexl", false},
        {"a title of the longest part read", "VexlVexl", {}, "VexlVexl", true},
        {"a title with a zero byte inside", std::string("Vexlo\0x", 7), {}, "Vexlo", false},
        {"other bytes compared as they are", "Vexl\xc3\xb6", {}, "VEXL\xc3\xb6", true},
        {"an empty title", "", {}, "", false},
    };
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.What);
        const Window W = Make(Case.NetName, Case.Name);
        XSync(X, False);
        const Window FocusBefore = Focus();

        EXPECT_EQ(Shell::RestoreWindowTitled(Case.Query), Case.Found);

        EXPECT_EQ(Viewable(W), Case.Found);
        EXPECT_EQ(Focus(), Case.Found ? W : FocusBefore);
        XDestroyWindow(X, W);
    }
}

// Every window's properties are asked for at once: many unanswered requests at a time, in
// whatever order the server lists the windows.
TEST_F(ShellX11Test, FindsTheOneWindowAmongManyOthers) {
    std::vector<Window> Others;
    for (int I = 0; I < 40; ++I) {
        Others.push_back(Make("Vexlo " + std::to_string(I), "Vexlo", I % 3 != 0));
        Others.push_back(Make({}, {}, I % 2 == 0));
    }
    const Window Real = Make({}, "vexlo");
    Others.push_back(Make("Other"));
    XSync(X, False);

    ASSERT_TRUE(Shell::RestoreWindowTitled("Vexlo"));

    EXPECT_TRUE(Viewable(Real));
    EXPECT_EQ(Focus(), Real);
    for (const Window W : Others) {
        EXPECT_FALSE(Viewable(W));
    }
}

TEST_F(ShellX11Test, WithAWindowManagerAsksItToRestoreAndActivateTheListedClient) {
    // As a manager, the test holds the redirect on the root and on the client's frame.
    XSelectInput(X, Root, SubstructureRedirectMask | SubstructureNotifyMask);
    const Window Check = Make({}, {}, false);
    Set(Check, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW, {static_cast<long>(Check)});
    Set(Root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW, {static_cast<long>(Check)});
    Set(Root, "_NET_SUPPORTED", XA_ATOM, {static_cast<long>(Intern("_NET_ACTIVE_WINDOW"))});
    const Window Frame = Make({}, {}, false);
    XSelectInput(X, Frame, SubstructureRedirectMask);
    XMapWindow(X, Frame);
    const Window Client = Make("Vexlo", {}, true, Frame);
    Set(Client, "WM_STATE", Intern("WM_STATE"), {IconicState, 0});
    // Every read of a stale entry fails: the search must survive that and go on.
    Set(Root, "_NET_CLIENT_LIST", XA_WINDOW, {Vanished(), static_cast<long>(Client)});
    Make("Vexlo"); // no managed client, so never a candidate
    const XErrorHandler Old = XSetErrorHandler(&IgnoreError);
    XSync(X, True);

    ASSERT_TRUE(Shell::RestoreWindowTitled("Vexlo"));

    EXPECT_EQ(XSetErrorHandler(Old), &IgnoreError);
    XSync(X, False);
    std::vector<Window> MapRequests;
    std::vector<std::pair<Window, long>> Activations;
    for (XEvent E; XPending(X) > 0;) {
        XNextEvent(X, &E);
        if (E.type == MapRequest) {
            MapRequests.push_back(E.xmaprequest.window);
        } else if (E.type == ClientMessage &&
                   E.xclient.message_type == Intern("_NET_ACTIVE_WINDOW")) {
            Activations.emplace_back(E.xclient.window, E.xclient.data.l[0]);
        }
    }
    EXPECT_EQ(MapRequests, std::vector<Window>{Client});
    EXPECT_EQ(Activations, (std::vector<std::pair<Window, long>>{{Client, 2}}));
}

TEST_F(ShellX11Test, ARecordLeftByAWindowManagerThatHasGoneIsIgnored) {
    Set(Root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW, {Vanished()});
    Set(Root, "_NET_SUPPORTED", XA_ATOM, {static_cast<long>(Intern("_NET_ACTIVE_WINDOW"))});
    Set(Root, "_NET_CLIENT_LIST", XA_WINDOW, {});
    const Window Real = Make("Vexlo");
    XSync(X, False);

    ASSERT_TRUE(Shell::RestoreWindowTitled("Vexlo"));

    EXPECT_TRUE(Viewable(Real));
    EXPECT_EQ(Focus(), Real);
}

int CountError(Display*, XErrorEvent*) {
    return 0;
}

TEST_F(ShellX11Test, OnTheToolkitsConnectionItLeavesItOpenAndTheErrorHandlerAsItWas) {
    const Window Real = Make("Vexlo");
    XSync(X, False);
    XSetErrorHandler(&CountError);

    ASSERT_TRUE(Shell::RestoreWindowTitledOn(X, "Vexlo"));
    EXPECT_FALSE(Shell::RestoreWindowTitledOn(X, "Vexlo2"));
    EXPECT_FALSE(Shell::RestoreWindowTitledOn(nullptr, "Vexlo"));

    EXPECT_EQ(XSetErrorHandler(nullptr), &CountError);
    EXPECT_TRUE(Viewable(Real));
    EXPECT_EQ(Focus(), Real);
}

TEST(ShellX11WithoutDisplay, FindsNothing) {
    const TText Saved = std::getenv("DISPLAY") ? TText(std::getenv("DISPLAY")) : TText();
    unsetenv("DISPLAY");
    EXPECT_FALSE(Shell::RestoreWindowTitled("Vexlo"));
    if (Saved) {
        setenv("DISPLAY", Saved->c_str(), 1);
    }
}

} // namespace
