#pragma once
// What only the X11 side of the shell offers: requests on the toolkit's own connection.
#include <string>

struct _XDisplay;

namespace Shell {

// Asks the X server to send a held key to ADisplay's client as repeated presses and one
// release (XKB's detectable auto-repeat, a flag of that one client connection). By default
// the server repeats a held key as release-and-press pairs, and a handler that acts on
// releases acts on every pair. True when the server agreed.
bool ReportHeldKeysAsOneRelease(_XDisplay* ADisplay);

// RestoreWindowTitled over a connection that is already open, the toolkit's own: a second
// connection costs the start a round of its own to the server. ADisplay stays open, and
// the process's error handler is back as it was when this returns.
bool RestoreWindowTitledOn(_XDisplay* ADisplay, const std::string& ATitle);

} // namespace Shell
