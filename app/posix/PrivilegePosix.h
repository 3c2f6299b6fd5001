#pragma once
// The rule by which a POSIX start keeps the raw-socket privilege that the program file gave
// it (Privilege::DropAtStart): Windows has no file capability, so no such rule.
#include <string>

namespace Privilege {

// Empty when the program at AProgram (a path without symbolic links, as /proc/self/exe
// gives it) and every folder above it belong to root and nobody else may write them; a
// root-owned folder with the sticky bit, such as /tmp, may lie above the program's own
// folder. Otherwise why not, naming the file or folder.
std::string UnsafeInstallReason(const std::string& AProgram);

} // namespace Privilege
