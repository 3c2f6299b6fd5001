#pragma once
// Finding the copy of the program that already runs, from inside the running application:
// one file per window system says which connection to the desktop it goes through.
#include <string>

// Looks for another copy's window titled ATitle, ignoring case, and brings it back. True when
// one was found. Call once the application object exists.
bool RestoreWindowOfPreviousInstance(const std::string& ATitle);
