// Windows side of the shell seam: the system's own title search already ignores case.
#include "app/Shell.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdio>

bool Shell::RestoreWindowTitled(const std::string& ATitle) {
    // An empty name would find some untitled window of another program.
    if (ATitle.empty()) {
        return false;
    }
    HWND Found = FindWindowA(nullptr, ATitle.c_str());
    if (Found == nullptr) {
        return false;
    }
    ShowWindow(Found, SW_RESTORE);
    // Allowed because the user has just started this copy, which makes it the foreground
    // process; without it the restored window could stay behind the active one.
    SetForegroundWindow(Found);
    return true;
}

bool Shell::RestoreWindowOfPreviousInstance(const std::string& ATitle) {
    return RestoreWindowTitled(ATitle);
}

bool Shell::AskForOneReleasePerHeldKey() {
    // Windows repeats a held key as presses and sends one release: nothing to ask for.
    return true;
}

std::jthread Shell::LoadFontConfigurationEarly() {
    // Qt takes Windows' fonts from the system, which keeps them loaded.
    return {};
}

void Shell::UseStartingConsole() {
    // Output that already goes somewhere (a file, a pipe) stays there; else the text goes to
    // the console of the command line that started the program, if it was one.
    const HANDLE Out = GetStdHandle(STD_OUTPUT_HANDLE);
    if ((Out == nullptr || Out == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        (void)std::freopen("CONOUT$", "w", stdout);
    }
}
