// Finding and restoring another copy's window on a real X server of the test's own, with
// windows made through raw Xlib as any toolkit makes them. Where a window manager matters,
// the test takes that role itself and records what it is asked to do.
#include "app/Shell.h"

#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

std::optional<std::string> FindXvfb() {
    std::istringstream Path(std::getenv("PATH") ? std::getenv("PATH") : "");
    for (std::string Dir; std::getline(Path, Dir, ':');) {
        if (access((Dir + "/Xvfb").c_str(), X_OK) == 0) {
            return Dir + "/Xvfb";
        }
    }
    return std::nullopt;
}

// Xvfb picks a free display number itself and writes it to the pipe once it accepts
// clients, so no guessed number can belong to another server.
class TXvfb {
  public:
    bool Start(const std::string& ABinary) {
        int Fds[2];
        if (pipe(Fds) != 0) {
            return false;
        }
        FPid = fork();
        if (FPid == 0) {
            close(Fds[0]);
            const int Null = open("/dev/null", O_WRONLY);
            dup2(Null, STDOUT_FILENO);
            dup2(Null, STDERR_FILENO);
            const std::string Fd = std::to_string(Fds[1]);
            execl(ABinary.c_str(), "Xvfb", "-displayfd", Fd.c_str(), "-nolisten", "tcp", "-screen",
                  "0", "320x240x24", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(Fds[1]);
        pollfd Ready{Fds[0], POLLIN, 0};
        char C = 0;
        while (poll(&Ready, 1, 20000) > 0 && read(Fds[0], &C, 1) == 1 && C != '\n') {
            Name += C;
        }
        close(Fds[0]);
        Name = Name.empty() ? "" : ":" + Name;
        return FPid > 0 && !Name.empty();
    }
    ~TXvfb() {
        if (FPid > 0) {
            kill(FPid, SIGTERM);
            waitpid(FPid, nullptr, 0);
        }
    }
    std::string Name;

  private:
    pid_t FPid = -1;
};

int IgnoreError(Display*, XErrorEvent*) {
    return 0;
}

struct TTitles {
    std::optional<std::string> NetName;
    std::optional<std::string> Name;
    bool Class = true;
};
TTitles NetName(std::string AText, bool AClass = true) {
    return {std::move(AText), std::nullopt, AClass};
}
TTitles WmName(std::string AText, bool AClass = true) {
    return {std::nullopt, std::move(AText), AClass};
}
// Neither title nor class: the stuff of frames and other helper windows.
const TTitles Bare{std::nullopt, std::nullopt, false};

class ShellX11Test : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        const std::optional<std::string> Binary = FindXvfb();
        if (!Binary) {
            return;
        }
        Server = new TXvfb;
        if (Server->Start(*Binary)) {
            setenv("DISPLAY", Server->Name.c_str(), 1);
            X = XOpenDisplay(nullptr);
        }
    }
    static void TearDownTestSuite() {
        if (X != nullptr) {
            XCloseDisplay(X);
        }
        delete Server;
    }
    void SetUp() override {
        if (Server == nullptr) {
            GTEST_SKIP() << "Xvfb is not installed (package xvfb): no X server to test against";
        }
        ASSERT_NE(X, nullptr) << "Xvfb did not start";
        Root = DefaultRootWindow(X);
    }
    void TearDown() override {
        if (X == nullptr) {
            return;
        }
        XSelectInput(X, Root, NoEventMask);
        for (const char* Name :
             {"_NET_SUPPORTING_WM_CHECK", "_NET_SUPPORTED", "_NET_CLIENT_LIST"}) {
            XDeleteProperty(X, Root, Intern(Name));
        }
        // Children before their parents, which would take them along.
        for (auto W = FWindows.rbegin(); W != FWindows.rend(); ++W) {
            XDestroyWindow(X, *W);
        }
        XSetInputFocus(X, PointerRoot, RevertToPointerRoot, CurrentTime);
        XSync(X, True);
    }

    Atom Intern(const char* AName) { return XInternAtom(X, AName, False); }

    Window Make(const TTitles& ATitles, Window AParent = 0) {
        const Window W = XCreateSimpleWindow(X, AParent ? AParent : Root, 0, 0, 40, 30, 0, 0, 0);
        auto Text = [&](Atom AProperty, Atom AType, const std::string& AText) {
            XChangeProperty(X, W, AProperty, AType, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(AText.data()),
                            static_cast<int>(AText.size()));
        };
        if (ATitles.NetName) {
            Text(Intern("_NET_WM_NAME"), Intern("UTF8_STRING"), *ATitles.NetName);
        }
        if (ATitles.Name) {
            Text(XA_WM_NAME, XA_STRING, *ATitles.Name);
        }
        if (ATitles.Class) {
            Text(XA_WM_CLASS, XA_STRING, std::string("vexlo\0Vexlo\0", 12));
        }
        FWindows.push_back(W);
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
    Window Vanished() {
        const Window W = XCreateSimpleWindow(X, Root, 0, 0, 1, 1, 0, 0, 0);
        XDestroyWindow(X, W);
        return W;
    }

    static inline TXvfb* Server = nullptr;
    static inline Display* X = nullptr;
    Window Root = 0;
    std::vector<Window> FWindows;
};

TEST_F(ShellX11Test, WithoutAWindowManagerMapsAndFocusesTheWindowAndPassesOverClasslessOnes) {
    // Qt's client leader looks like this decoy; whichever end a walk starts from, it meets one.
    const Window Lower = Make(WmName("Vexlo", false));
    const Window Real = Make(NetName("VEXLO"));
    const Window Upper = Make(NetName("Vexlo", false));
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
        TTitles Titles;
        std::string Query;
        bool Found;
    };
    const TCase Cases[] = {
        {"WM_NAME when there is no _NET_WM_NAME", WmName("vExLo"), "Vexlo", true},
        {"_NET_WM_NAME wins over WM_NAME", {"Other", "Vexlo", true}, "Vexlo", false},
        {"a longer title", NetName("Vexlo 2"), "Vexlo", false},
        {"a shorter title", NetName("Vexl"), "Vexlo", false},
        {"a title with a zero byte inside", NetName(std::string("Vexlo\0x", 7)), "Vexlo", false},
        {"other bytes compared as they are", NetName("Vexl\xc3\xb6"), "VEXL\xc3\xb6", true},
        {"an empty title", NetName(""), "", false},
    };
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.What);
        const Window W = Make(Case.Titles);
        XSync(X, False);
        const Window FocusBefore = Focus();

        EXPECT_EQ(Shell::RestoreWindowTitled(Case.Query), Case.Found);

        EXPECT_EQ(Viewable(W), Case.Found);
        EXPECT_EQ(Focus(), Case.Found ? W : FocusBefore);
        XDestroyWindow(X, W);
        FWindows.pop_back();
    }
}

TEST_F(ShellX11Test, WithAWindowManagerAsksItToRestoreAndActivateTheListedClient) {
    // The test is the manager: it holds the redirect on the root and on the client's frame,
    // so every map of another client and every activation request reaches it as an event.
    XSelectInput(X, Root, SubstructureRedirectMask | SubstructureNotifyMask);
    const Window Check = Make(Bare);
    Set(Check, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW, {static_cast<long>(Check)});
    Set(Root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW, {static_cast<long>(Check)});
    Set(Root, "_NET_SUPPORTED", XA_ATOM, {static_cast<long>(Intern("_NET_ACTIVE_WINDOW"))});
    const Window Frame = Make(Bare);
    XSelectInput(X, Frame, SubstructureRedirectMask);
    XMapWindow(X, Frame);
    const Window Client = Make(NetName("Vexlo"), Frame);
    Set(Client, "WM_STATE", Intern("WM_STATE"), {IconicState, 0});
    // A stale entry makes every read of it fail: the search must survive that and go on.
    Set(Root, "_NET_CLIENT_LIST", XA_WINDOW,
        {static_cast<long>(Vanished()), static_cast<long>(Client)});
    Make(NetName("Vexlo")); // not a managed client, so never a candidate
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
    Set(Root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW, {static_cast<long>(Vanished())});
    Set(Root, "_NET_SUPPORTED", XA_ATOM, {static_cast<long>(Intern("_NET_ACTIVE_WINDOW"))});
    Set(Root, "_NET_CLIENT_LIST", XA_WINDOW, {});
    const Window Real = Make(NetName("Vexlo"));
    XSync(X, False);

    ASSERT_TRUE(Shell::RestoreWindowTitled("Vexlo"));

    EXPECT_TRUE(Viewable(Real));
    EXPECT_EQ(Focus(), Real);
}

TEST(ShellX11WithoutDisplay, FindsNothing) {
    const char* Saved = std::getenv("DISPLAY");
    const std::optional<std::string> Display =
        Saved ? std::optional(std::string(Saved)) : std::nullopt;
    unsetenv("DISPLAY");
    EXPECT_FALSE(Shell::RestoreWindowTitled("Vexlo"));
    if (Display) {
        setenv("DISPLAY", Display->c_str(), 1);
    }
}

} // namespace
