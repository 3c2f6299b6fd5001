// X11 side of the shell seam. It takes the Xlib connection it is handed (the toolkit's own,
// so a start costs no second connection) and needs nothing else from Qt, so it works the same
// whichever toolkit made the window it looks for. Every Xlib include of the project is here:
// Xlib's macros (KeyRelease, None, Bool...) break Qt's headers.
#include "app/x11/ShellX11.h"

// Qt's headers before Xlib's, whose macros they would trip over.
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

// The other copy's window can be destroyed between our listing it and reading it; the request
// then fails, and that must pass that window over, not end this process through Xlib's
// default handler. Each read below checks its own status instead.
int IgnoreError(Display*, XErrorEvent*) {
    return 0;
}

// The error handler is process-wide, so it is ours only while we speak. Xlib reports errors
// of requests without a reply late, hence the sync before the old one returns.
class TQuietErrors {
  public:
    explicit TQuietErrors(Display* ADisplay)
        : FDisplay(ADisplay), FOldHandler(XSetErrorHandler(&IgnoreError)) {}
    ~TQuietErrors() {
        XSync(FDisplay, False);
        XSetErrorHandler(FOldHandler);
    }
    TQuietErrors(const TQuietErrors&) = delete;
    TQuietErrors& operator=(const TQuietErrors&) = delete;

  private:
    Display* FDisplay;
    XErrorHandler FOldHandler;
};

struct TCloseDisplay {
    void operator()(Display* ADisplay) const { XCloseDisplay(ADisplay); }
};

struct TXFree {
    void operator()(unsigned char* AData) const { XFree(AData); }
};

struct TProperty {
    Atom Type = None;
    int Format = 0;
    unsigned long Count = 0;
    unsigned long BytesAfter = 0;
    std::unique_ptr<unsigned char, TXFree> Data;

    bool Present() const { return Type != None; }
    // Format 32 items come back from Xlib as longs, whatever the server's word size.
    const unsigned long* Longs() const {
        return reinterpret_cast<const unsigned long*>(Data.get());
    }
};

// Reads at most ALongs 32-bit units. A window that has gone reads as a missing property.
TProperty ReadProperty(Display* ADisplay, Window AWindow, Atom AProperty, long ALongs) {
    TProperty Result;
    unsigned char* Data = nullptr;
    if (XGetWindowProperty(ADisplay, AWindow, AProperty, 0, ALongs, False, AnyPropertyType,
                           &Result.Type, &Result.Format, &Result.Count, &Result.BytesAfter,
                           &Data) != Success) {
        return TProperty{};
    }
    Result.Data.reset(Data);
    return Result;
}

std::optional<Window> ReadWindowProperty(Display* ADisplay, Window AWindow, Atom AProperty) {
    const TProperty P = ReadProperty(ADisplay, AWindow, AProperty, 1);
    if (P.Type != XA_WINDOW || P.Format != 32 || P.Count != 1) {
        return std::nullopt;
    }
    return P.Longs()[0];
}

char FoldAscii(unsigned char AChar) {
    return static_cast<char>(AChar >= 'A' && AChar <= 'Z' ? AChar - 'A' + 'a' : AChar);
}

// Byte for byte with ASCII letters folded: the title is ASCII, and any other byte, an
// embedded zero included, must simply not match.
bool EqualsIgnoringCase(const TProperty& AText, const std::string& ATitle) {
    if (AText.Format != 8 || AText.BytesAfter != 0 || AText.Count != ATitle.size()) {
        return false;
    }
    for (std::size_t I = 0; I < ATitle.size(); ++I) {
        if (FoldAscii(AText.Data.get()[I]) != FoldAscii(static_cast<unsigned char>(ATitle[I]))) {
            return false;
        }
    }
    return true;
}

class TDesktop {
  public:
    explicit TDesktop(Display* ADisplay)
        : FDisplay(ADisplay), FRoot(DefaultRootWindow(ADisplay)),
          FNetWmName(Intern("_NET_WM_NAME")), FUtf8String(Intern("UTF8_STRING")),
          FNetClientList(Intern("_NET_CLIENT_LIST")),
          FNetActiveWindow(Intern("_NET_ACTIVE_WINDOW")), FWmState(Intern("WM_STATE")) {
        FManaged = ManagerIsAlive();
        FActivates = FManaged && ManagerSupports(FNetActiveWindow);
    }

    std::optional<Window> Find(const std::string& ATitle) const {
        for (const Window Candidate : TopLevelWindows()) {
            if (IsApplicationWindow(Candidate) && TitleEquals(Candidate, ATitle)) {
                return Candidate;
            }
        }
        return std::nullopt;
    }

    void Restore(Window AWindow) const {
        if (!FActivates) {
            // No manager, or one that takes no activation requests: map, raise and focus it
            // ourselves.
            XMapRaised(FDisplay, AWindow);
            XSetInputFocus(FDisplay, AWindow, RevertToParent, CurrentTime);
            return;
        }
        // Mapping a minimised or withdrawn client asks its manager to bring it back to the
        // normal state; the activation request then raises and focuses it.
        if (!IsShown(AWindow) || IsIconic(AWindow)) {
            XMapWindow(FDisplay, AWindow);
        }
        XEvent Event{};
        Event.xclient.type = ClientMessage;
        Event.xclient.window = AWindow;
        Event.xclient.message_type = FNetActiveWindow;
        Event.xclient.format = 32;
        // Source 2 speaks for the user, as a pager does: a manager that guards against
        // focus stealing lets it through, and the user did ask by starting the program.
        Event.xclient.data.l[0] = 2;
        Event.xclient.data.l[1] = CurrentTime;
        Event.xclient.data.l[2] = 0;
        XSendEvent(FDisplay, FRoot, False, SubstructureRedirectMask | SubstructureNotifyMask,
                   &Event);
    }

  private:
    Atom Intern(const char* AName) const { return XInternAtom(FDisplay, AName, False); }

    // A manager that died leaves its check property on the root behind; only one whose
    // check window still names itself is running.
    bool ManagerIsAlive() const {
        const Atom Check = Intern("_NET_SUPPORTING_WM_CHECK");
        const std::optional<Window> Child = ReadWindowProperty(FDisplay, FRoot, Check);
        return Child && ReadWindowProperty(FDisplay, *Child, Check) == Child;
    }

    bool ManagerSupports(Atom AFeature) const {
        const TProperty Supported = ReadProperty(FDisplay, FRoot, Intern("_NET_SUPPORTED"), 4096);
        if (Supported.Type != XA_ATOM || Supported.Format != 32) {
            return false;
        }
        for (unsigned long I = 0; I < Supported.Count; ++I) {
            if (Supported.Longs()[I] == AFeature) {
                return true;
            }
        }
        return false;
    }

    // A reparenting manager puts each client inside a frame of its own, so the root's
    // children are frames; its client list names the application windows themselves.
    std::vector<Window> TopLevelWindows() const {
        if (FManaged) {
            const TProperty List = ReadProperty(FDisplay, FRoot, FNetClientList, 1L << 20);
            if (List.Type == XA_WINDOW && List.Format == 32) {
                return {List.Longs(), List.Longs() + List.Count};
            }
        }
        Window Root = 0;
        Window Parent = 0;
        Window* Children = nullptr;
        unsigned int Count = 0;
        if (XQueryTree(FDisplay, FRoot, &Root, &Parent, &Children, &Count) == 0) {
            return {};
        }
        // Topmost first, the order in which a user sees them.
        std::vector<Window> Result(Children, Children + Count);
        std::reverse(Result.begin(), Result.end());
        if (Children != nullptr) {
            XFree(Children);
        }
        return Result;
    }

    // Qt's hidden client-leader window bears the executable's name as its title but no
    // WM_CLASS, so a program called "vexlo" would otherwise find its own leader.
    bool IsApplicationWindow(Window AWindow) const {
        return ReadProperty(FDisplay, AWindow, XA_WM_CLASS, 0).Present();
    }

    bool TitleEquals(Window AWindow, const std::string& ATitle) const {
        if (ATitle.empty()) {
            return false;
        }
        // One unit more than the title needs tells a longer title from an equal one.
        const long Longs = static_cast<long>(ATitle.size() / 4 + 1);
        const TProperty NetName = ReadProperty(FDisplay, AWindow, FNetWmName, Longs);
        if (NetName.Present()) {
            return NetName.Type == FUtf8String && EqualsIgnoringCase(NetName, ATitle);
        }
        return EqualsIgnoringCase(ReadProperty(FDisplay, AWindow, XA_WM_NAME, Longs), ATitle);
    }

    bool IsShown(Window AWindow) const {
        XWindowAttributes Attributes{};
        return XGetWindowAttributes(FDisplay, AWindow, &Attributes) != 0 &&
               Attributes.map_state == IsViewable;
    }

    bool IsIconic(Window AWindow) const {
        const TProperty State = ReadProperty(FDisplay, AWindow, FWmState, 2);
        return State.Type == FWmState && State.Format == 32 && State.Count >= 1 &&
               State.Longs()[0] == IconicState;
    }

    Display* FDisplay;
    Window FRoot;
    Atom FNetWmName;
    Atom FUtf8String;
    Atom FNetClientList;
    Atom FNetActiveWindow;
    Atom FWmState;
    bool FManaged = false;
    bool FActivates = false;
};

} // namespace

bool Shell::RestoreWindowTitledOn(Display* ADisplay, const std::string& ATitle) {
    if (ADisplay == nullptr) {
        return false;
    }
    const TQuietErrors Quiet(ADisplay);
    const TDesktop Desktop(ADisplay);
    const std::optional<Window> Found = Desktop.Find(ATitle);
    if (!Found) {
        return false;
    }
    Desktop.Restore(*Found);
    return true;
}

bool Shell::RestoreWindowTitled(const std::string& ATitle) {
    const std::unique_ptr<Display, TCloseDisplay> Connection(XOpenDisplay(nullptr));
    return RestoreWindowTitledOn(Connection.get(), ATitle);
}

bool Shell::ReportHeldKeysAsOneRelease(Display* ADisplay) {
    if (ADisplay == nullptr) {
        return false;
    }
    Bool Supported = False;
    return XkbSetDetectableAutoRepeat(ADisplay, True, &Supported) == True && Supported == True;
}

bool Shell::RestoreWindowOfPreviousInstance(const std::string& ATitle) {
    // Over Qt's own X connection where there is one: a connection of our own would cost the
    // start another handshake with the server for a window that folded start-up never shows.
    auto* X11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    // Another platform (offscreen, Wayland without XWayland) still reaches an X server named
    // by DISPLAY, if any, on a connection of its own.
    if (X11 == nullptr || X11->display() == nullptr) {
        return RestoreWindowTitled(ATitle);
    }
    return RestoreWindowTitledOn(X11->display(), ATitle);
}

bool Shell::AskForOneReleasePerHeldKey() {
    // Asked on Qt's own X connection: the flag belongs to the client connection that
    // receives the key events, and Qt 6.4 tells the server's repeat releases from real ones
    // only by looking for a press queued right behind, which a busy machine has not
    // delivered yet.
    auto* X11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    // Another platform (offscreen, Wayland) sends no X key events to worry about.
    return X11 == nullptr || ReportHeldKeysAsOneRelease(X11->display());
}

void Shell::UseStartingConsole() {
    // A terminal's output is the process's own from the start.
}
