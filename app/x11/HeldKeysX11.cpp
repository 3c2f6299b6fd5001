// Asked on Qt's own X connection: the flag belongs to the client connection that receives
// the key events, and Qt 6.4 tells the server's repeat releases from real ones only by
// looking for a press queued right behind, which a busy machine has not delivered yet.
#include "app/HeldKeys.h"
#include "app/x11/ShellX11.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

bool AskForOneReleasePerHeldKey() {
    auto* X11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    // Another platform (offscreen, Wayland) sends no X key events to worry about.
    return X11 == nullptr || Shell::ReportHeldKeysAsOneRelease(X11->display());
}
