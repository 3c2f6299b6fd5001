#pragma once
// What the X11 side of the shell seam (app/Shell.h) does on an X connection that is already
// open, the toolkit's own: a second connection costs the start a round of its own to the
// server. Only X11 has such a connection to hand over, so only X11 code and its tests ask.
#include "app/Shell.h"

#include <string>

// Xlib's Display, without Xlib's macros in every file that includes this.
struct _XDisplay;

namespace Shell {

// RestoreWindowTitled over ADisplay. ADisplay stays open, and the process's error handler is
// back as it was when this returns. False without one.
bool RestoreWindowTitledOn(_XDisplay* ADisplay, const std::string& ATitle);

// Asks the X server to send a held key to ADisplay's client as repeated presses and one
// release (XKB's detectable auto-repeat, a flag of that one client connection). By default
// the server repeats a held key as release-and-press pairs, and a handler that acts on
// releases acts on every pair. True when the server agreed.
bool ReportHeldKeysAsOneRelease(_XDisplay* ADisplay);

} // namespace Shell
