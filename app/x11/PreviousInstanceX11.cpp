// Over Qt's own X connection where there is one: a connection of our own would cost the
// start another handshake with the server for a window that folded start-up never shows.
#include "app/PreviousInstance.h"
#include "app/Shell.h"
#include "app/x11/ShellX11.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

bool RestoreWindowOfPreviousInstance(const std::string& ATitle) {
    auto* X11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    // Another platform (offscreen, Wayland without XWayland) still reaches an X server named
    // by DISPLAY, if any, on a connection of its own.
    if (X11 == nullptr || X11->display() == nullptr) {
        return Shell::RestoreWindowTitled(ATitle);
    }
    return Shell::RestoreWindowTitledOn(X11->display(), ATitle);
}
