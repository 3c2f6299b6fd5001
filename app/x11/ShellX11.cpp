// X11 side of the shell seam. It takes the Xlib connection it is handed (the toolkit's own,
// so a start costs no second connection) and needs nothing else from Qt, so it works the same
// whichever toolkit made the window it looks for. Every Xlib include of the project is here:
// Xlib's macros (KeyRelease, None, Bool...) break Qt's headers.
#include "app/x11/ShellX11.h"

// Qt's headers before Xlib's, whose macros they would trip over.
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <X11/XKBlib.h>
#include <X11/Xlib-xcb.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <xcb/xcb.h>
#include <xcb/xproto.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The search speaks XCB on the Xlib connection's own XCB connection: XCB sends a request
// without waiting for its reply, so each round below costs one wait on the server however
// many windows it reads, where Xlib waits once per request. And XCB hands a failed request's
// error back with its reply, so a window destroyed between our listing it and reading it
// reads as one without properties, and no process-wide Xlib error handler is touched.

namespace {

struct TCloseDisplay {
    void operator()(Display* ADisplay) const { XCloseDisplay(ADisplay); }
};

struct TFree {
    void operator()(void* AReply) const { std::free(AReply); }
};

// The reply of one GetProperty; a window that has gone reads as a missing property.
class TProperty {
  public:
    TProperty() = default;
    explicit TProperty(xcb_get_property_reply_t* AReply) : FReply(AReply) {}

    bool Present() const { return FReply != nullptr && FReply->type != XCB_NONE; }
    xcb_atom_t Type() const { return FReply ? FReply->type : XCB_NONE; }
    std::uint8_t Format() const { return FReply ? FReply->format : 0; }
    bool Is(xcb_atom_t AType, std::uint8_t AFormat) const {
        return Type() == AType && Format() == AFormat;
    }
    // Count in units of the format, as the server counts them.
    std::uint32_t Count() const { return FReply ? FReply->value_len : 0; }
    bool Complete() const { return FReply != nullptr && FReply->bytes_after == 0; }
    const std::uint8_t* Bytes() const {
        return static_cast<const std::uint8_t*>(xcb_get_property_value(FReply.get()));
    }
    // Only for a format 32 property: XCB gives its items as they came, 32 bits each.
    std::uint32_t Item(std::uint32_t AIndex) const {
        std::uint32_t Result = 0;
        std::memcpy(&Result, Bytes() + std::size_t{AIndex} * 4, 4);
        return Result;
    }

  private:
    std::unique_ptr<xcb_get_property_reply_t, TFree> FReply;
};

// A GetProperty sent and not yet waited for. One dropped unread has its reply or error thrown
// away as it arrives, so a read made in case it was needed costs nothing when it is not.
class TAskedProperty {
  public:
    // Reads at most ALongs 32-bit units.
    TAskedProperty(xcb_connection_t* AConnection, xcb_window_t AWindow, xcb_atom_t AProperty,
                   std::uint32_t ALongs)
        : FConnection(AConnection),
          FCookie(xcb_get_property(AConnection, 0, AWindow, AProperty, XCB_GET_PROPERTY_TYPE_ANY, 0,
                                   ALongs)) {}
    TAskedProperty(TAskedProperty&& AOther) noexcept
        : FConnection(std::exchange(AOther.FConnection, nullptr)), FCookie(AOther.FCookie) {}
    TAskedProperty(const TAskedProperty&) = delete;
    TAskedProperty& operator=(const TAskedProperty&) = delete;
    TAskedProperty& operator=(TAskedProperty&&) = delete;
    ~TAskedProperty() {
        if (FConnection != nullptr) {
            xcb_discard_reply(FConnection, FCookie.sequence);
        }
    }

    // Waits for the reply; an error, freed here, reads as a missing property.
    TProperty Take() {
        xcb_connection_t* Connection = std::exchange(FConnection, nullptr);
        return Connection ? TProperty(xcb_get_property_reply(Connection, FCookie, nullptr))
                          : TProperty();
    }

  private:
    xcb_connection_t* FConnection;
    xcb_get_property_cookie_t FCookie;
};

std::optional<xcb_window_t> WindowIn(const TProperty& AProperty) {
    if (!AProperty.Is(XCB_ATOM_WINDOW, 32) || AProperty.Count() != 1) {
        return std::nullopt;
    }
    return AProperty.Item(0);
}

char FoldAscii(unsigned char AChar) {
    return static_cast<char>(AChar >= 'A' && AChar <= 'Z' ? AChar - 'A' + 'a' : AChar);
}

// Byte for byte with ASCII letters folded: the title is ASCII, and any other byte, an
// embedded zero included, must simply not match.
bool EqualsIgnoringCase(const TProperty& AText, const std::string& ATitle) {
    if (AText.Format() != 8 || !AText.Complete() || AText.Count() != ATitle.size()) {
        return false;
    }
    for (std::size_t I = 0; I < ATitle.size(); ++I) {
        if (FoldAscii(AText.Bytes()[I]) != FoldAscii(static_cast<unsigned char>(ATitle[I]))) {
            return false;
        }
    }
    return true;
}

enum TAtom : std::size_t {
    NetSupportingWmCheck,
    NetSupported,
    NetClientList,
    NetWmName,
    Utf8String,
    NetActiveWindow,
    WmState,
    AtomCount
};

constexpr std::array<const char*, AtomCount> AtomNames = {
    "_NET_SUPPORTING_WM_CHECK", "_NET_SUPPORTED", "_NET_CLIENT_LIST", "_NET_WM_NAME", "UTF8_STRING",
    "_NET_ACTIVE_WINDOW",       "WM_STATE"};

// What tells whether one window is the one sought, asked for all candidates at once.
class TAskedWindow {
  public:
    TAskedWindow(xcb_connection_t* AConnection, xcb_window_t AWindow, xcb_atom_t ANetWmName,
                 std::uint32_t ATitleLongs)
        : FWindow(AWindow), FClass(AConnection, AWindow, XCB_ATOM_WM_CLASS, 0),
          FNetName(AConnection, AWindow, ANetWmName, ATitleLongs),
          FName(AConnection, AWindow, XCB_ATOM_WM_NAME, ATitleLongs) {}

    xcb_window_t Window() const { return FWindow; }

    bool IsTitled(const std::string& ATitle, xcb_atom_t AUtf8String) {
        // Qt's hidden client-leader window bears the executable's name as its title but no
        // WM_CLASS, so a program called "vexlo" would otherwise find its own leader.
        if (!FClass.Take().Present()) {
            return false;
        }
        const TProperty NetName = FNetName.Take();
        if (NetName.Present()) {
            return NetName.Type() == AUtf8String && EqualsIgnoringCase(NetName, ATitle);
        }
        return EqualsIgnoringCase(FName.Take(), ATitle);
    }

  private:
    xcb_window_t FWindow;
    TAskedProperty FClass;
    TAskedProperty FNetName;
    TAskedProperty FName;
};

class TDesktop {
  public:
    explicit TDesktop(Display* ADisplay)
        : FConnection(XGetXCBConnection(ADisplay)),
          FRoot(static_cast<xcb_window_t>(DefaultRootWindow(ADisplay))) {}

    // Two rounds to the server without a window manager, three with one (or with what a
    // dead one left behind): the atoms and the root's children; the root's properties and
    // every child's, in case no manager turns out to be running; then, where the root names
    // a manager, whether it still runs and the properties of the clients it lists.
    std::optional<xcb_window_t> Find(const std::string& ATitle) {
        if (ATitle.empty()) {
            return std::nullopt;
        }
        if (!InternAtoms()) {
            return std::nullopt;
        }
        // One unit more than the title needs tells a longer title from an equal one.
        const auto TitleLongs = static_cast<std::uint32_t>(ATitle.size() / 4 + 1);
        TAskedProperty RootCheck(FConnection, FRoot, FAtoms[NetSupportingWmCheck], 1);
        TAskedProperty RootClients(FConnection, FRoot, FAtoms[NetClientList], 1U << 20);
        std::vector<TAskedWindow> Children = AskAbout(FChildren, TitleLongs);

        // A manager that died leaves its check property on the root behind; only one whose
        // check window still names itself is running.
        const std::optional<xcb_window_t> CheckWindow = WindowIn(RootCheck.Take());
        if (CheckWindow) {
            TAskedProperty Check(FConnection, *CheckWindow, FAtoms[NetSupportingWmCheck], 1);
            // A reparenting manager puts each client inside a frame of its own, so the
            // root's children are frames; its client list names the application windows.
            const TProperty List = RootClients.Take();
            std::vector<xcb_window_t> Clients;
            if (List.Is(XCB_ATOM_WINDOW, 32)) {
                Clients.reserve(List.Count());
                for (std::uint32_t I = 0; I < List.Count(); ++I) {
                    Clients.push_back(List.Item(I));
                }
            }
            std::vector<TAskedWindow> Listed = AskAbout(Clients, TitleLongs);
            FManaged = WindowIn(Check.Take()) == CheckWindow;
            if (FManaged && List.Is(XCB_ATOM_WINDOW, 32)) {
                return FirstTitled(Listed, ATitle);
            }
        }
        return FirstTitled(Children, ATitle);
    }

    void Restore(xcb_window_t AWindow) {
        if (!FManaged) {
            // No manager: map, raise and focus it ourselves.
            MapRaisedAndFocus(AWindow);
        } else {
            TAskedProperty Supported(FConnection, FRoot, FAtoms[NetSupported], 4096);
            const xcb_get_window_attributes_cookie_t Attributes =
                xcb_get_window_attributes(FConnection, AWindow);
            TAskedProperty State(FConnection, AWindow, FAtoms[WmState], 2);
            const bool Activates = Supports(Supported.Take(), FAtoms[NetActiveWindow]);
            const bool Shown = IsShown(Attributes);
            const bool Iconic = IsIconic(State.Take());
            if (!Activates) {
                // A manager that takes no activation requests: as without one.
                MapRaisedAndFocus(AWindow);
            } else {
                // Mapping a minimised or withdrawn client asks its manager to bring it back
                // to the normal state; the activation request then raises and focuses it.
                if (!Shown || Iconic) {
                    Quietly(xcb_map_window_checked(FConnection, AWindow));
                }
                Activate(AWindow);
            }
        }
        // XCB holds requests back until something waits on the server, and a program that
        // found its other copy has nothing more to ask before it ends.
        xcb_flush(FConnection);
    }

  private:
    // Round one: every atom and the root's children at once.
    bool InternAtoms() {
        std::array<xcb_intern_atom_cookie_t, AtomCount> Cookies{};
        for (std::size_t I = 0; I < AtomCount; ++I) {
            Cookies[I] = xcb_intern_atom(FConnection, 0,
                                         static_cast<std::uint16_t>(std::strlen(AtomNames[I])),
                                         AtomNames[I]);
        }
        const xcb_query_tree_cookie_t Tree = xcb_query_tree(FConnection, FRoot);
        bool Interned = true;
        for (std::size_t I = 0; I < AtomCount; ++I) {
            const std::unique_ptr<xcb_intern_atom_reply_t, TFree> Reply(
                xcb_intern_atom_reply(FConnection, Cookies[I], nullptr));
            FAtoms[I] = Reply ? Reply->atom : XCB_NONE;
            Interned = Interned && FAtoms[I] != XCB_NONE;
        }
        const std::unique_ptr<xcb_query_tree_reply_t, TFree> Children(
            xcb_query_tree_reply(FConnection, Tree, nullptr));
        if (Children) {
            const xcb_window_t* First = xcb_query_tree_children(Children.get());
            // Topmost first, the order in which a user sees them.
            FChildren.assign(First, First + xcb_query_tree_children_length(Children.get()));
            std::reverse(FChildren.begin(), FChildren.end());
        }
        return Interned;
    }

    std::vector<TAskedWindow> AskAbout(const std::vector<xcb_window_t>& AWindows,
                                       std::uint32_t ATitleLongs) const {
        std::vector<TAskedWindow> Result;
        Result.reserve(AWindows.size());
        for (const xcb_window_t Window : AWindows) {
            Result.emplace_back(FConnection, Window, FAtoms[NetWmName], ATitleLongs);
        }
        return Result;
    }

    // The replies of the windows after the one found are thrown away unread.
    std::optional<xcb_window_t> FirstTitled(std::vector<TAskedWindow>& AWindows,
                                            const std::string& ATitle) const {
        for (TAskedWindow& Window : AWindows) {
            if (Window.IsTitled(ATitle, FAtoms[Utf8String])) {
                return Window.Window();
            }
        }
        return std::nullopt;
    }

    static bool Supports(const TProperty& ASupported, xcb_atom_t AFeature) {
        if (!ASupported.Is(XCB_ATOM_ATOM, 32)) {
            return false;
        }
        for (std::uint32_t I = 0; I < ASupported.Count(); ++I) {
            if (ASupported.Item(I) == AFeature) {
                return true;
            }
        }
        return false;
    }

    bool IsShown(xcb_get_window_attributes_cookie_t ACookie) const {
        const std::unique_ptr<xcb_get_window_attributes_reply_t, TFree> Attributes(
            xcb_get_window_attributes_reply(FConnection, ACookie, nullptr));
        return Attributes && Attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    }

    bool IsIconic(const TProperty& AState) const {
        return AState.Is(FAtoms[WmState], 32) && AState.Count() >= 1 &&
               AState.Item(0) == IconicState;
    }

    void MapRaisedAndFocus(xcb_window_t AWindow) {
        const std::uint32_t OnTop = XCB_STACK_MODE_ABOVE;
        Quietly(xcb_configure_window_checked(FConnection, AWindow, XCB_CONFIG_WINDOW_STACK_MODE,
                                             &OnTop));
        Quietly(xcb_map_window_checked(FConnection, AWindow));
        Quietly(xcb_set_input_focus_checked(FConnection, XCB_INPUT_FOCUS_PARENT, AWindow,
                                            XCB_CURRENT_TIME));
    }

    void Activate(xcb_window_t AWindow) {
        xcb_client_message_event_t Event{};
        Event.response_type = XCB_CLIENT_MESSAGE;
        Event.format = 32;
        Event.window = AWindow;
        Event.type = FAtoms[NetActiveWindow];
        // Source 2 speaks for the user, as a pager does: a manager that guards against
        // focus stealing lets it through, and the user did ask by starting the program.
        Event.data.data32[0] = 2;
        Event.data.data32[1] = XCB_CURRENT_TIME;
        Event.data.data32[2] = 0;
        Quietly(xcb_send_event_checked(FConnection, 0, FRoot,
                                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT |
                                           XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                                       reinterpret_cast<const char*>(&Event)));
    }

    // The window can still vanish before these reach the server. A checked request's error
    // is kept for it rather than queued as an event, where Xlib's default handler would end
    // the process; discarding it drops the error on arrival without waiting for it.
    void Quietly(xcb_void_cookie_t ACookie) const {
        xcb_discard_reply(FConnection, ACookie.sequence);
    }

    xcb_connection_t* FConnection;
    xcb_window_t FRoot;
    std::array<xcb_atom_t, AtomCount> FAtoms{};
    std::vector<xcb_window_t> FChildren;
    bool FManaged = false;
};

} // namespace

bool Shell::RestoreWindowTitledOn(Display* ADisplay, const std::string& ATitle) {
    if (ADisplay == nullptr) {
        return false;
    }
    TDesktop Desktop(ADisplay);
    const std::optional<xcb_window_t> Found = Desktop.Find(ATitle);
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
