#pragma once
// What differs between window systems for the application shell: finding and restoring the
// copy of the program that already runs, and asking for one release per held key. One file
// per window system implements it (app/x11/ShellX11.cpp, app/win/ShellWin.cpp), chosen by
// the build; the Windows one needs no Qt, so it builds and is tested with the Qt-free code.
#include <string>
#include <thread>

namespace Shell {

// Looks for a top-level window of this desktop whose title equals ATitle, ignoring case,
// and brings it back: shown, restored from the minimised state and activated. True when
// one was found. Windows without a title, and those that are no application's window,
// are passed over. Any process may call it; it opens what connection it needs.
bool RestoreWindowTitled(const std::string& ATitle);

// RestoreWindowTitled from inside the running application, over the toolkit's connection
// where it has one. Call once the application object exists.
bool RestoreWindowOfPreviousInstance(const std::string& ATitle);

// Every key action of the window happens on a key's release, once: a held key must not
// give a release for each repeat. True when the window system now gives one release per
// held key (or always did); false when it cannot be asked. Call once the application
// object exists.
bool AskForOneReleasePerHeldKey();

// Starts loading the desktop's font configuration on a thread of its own and returns that
// thread; empty where Qt needs no such load. Qt would load it at the window's first text, on
// the window's thread, after it has connected to the display: begun before the application
// object, the load runs on another core meanwhile. Call after any fork, and join the thread
// before the first font is used: a second load at once would only duplicate the work.
std::jthread LoadFontConfigurationEarly();

// Lets the text of --help and --version reach the console the program was started from. A
// program of Windows' GUI subsystem starts without one; elsewhere there is nothing to do.
void UseStartingConsole();

} // namespace Shell
