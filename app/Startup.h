#pragma once
// What happens before the application object exists.
#include <optional>
#include <ostream>

namespace Startup {

// "--help" and "--version" print their text and give the exit code; any other argument is
// left alone, since the program reads no command line.
std::optional<int> HandleInformationOptions(int AArgc, char** AArgv, std::ostream& AOut);

// Leaves the program's name alone in the argument list (still null-terminated): Qt reads
// options of its own from it (-title, -geometry, -style, ...), and the program reads no
// command line. The environment stays the way to choose Qt's platform.
void KeepProgramNameOnly(int& AArgc, char** AArgv);

// True when Qt would open its window on X11 or Wayland (its choice when QT_QPA_PLATFORM is
// empty, or each entry of the list the variable gives) and neither DISPLAY nor
// WAYLAND_DISPLAY names a display. Null and empty values are unset.
bool LacksDisplay(const char* APlatform, const char* ADisplay, const char* AWaylandDisplay);

// Says so in one line on AErr and gives exit code 1 when the environment LacksDisplay: Qt
// would abort instead, with advice that does not fit.
std::optional<int> ReportMissingDisplay(std::ostream& AErr);

// Privilege kept as small as it can be, a raised start made safe, a save past the file-size
// limit reported instead of ending the program, and the X11 platform chosen in a Wayland
// session. Before the application object, which reads what it sets.
void PrepareProcess();

} // namespace Startup
