#pragma once
// What differs between window systems for the application shell, kept free of Qt so that
// the Windows file builds and is tested with the rest of the Qt-free code.
#include <string>

namespace Shell {

// Looks for a top-level window of this desktop whose title equals ATitle, ignoring case,
// and brings it back: shown, restored from the minimised state and activated. True when
// one was found. Windows without a title, and those that are no application's window,
// are passed over.
bool RestoreWindowTitled(const std::string& ATitle);

} // namespace Shell
