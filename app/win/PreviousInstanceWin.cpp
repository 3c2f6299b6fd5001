#include "app/PreviousInstance.h"
#include "app/Shell.h"

bool RestoreWindowOfPreviousInstance(const std::string& ATitle) {
    return Shell::RestoreWindowTitled(ATitle);
}
