#pragma once
// The privilege for raw sockets, held as narrowly as the platform allows, and a start with
// raised privilege kept from loading code from places the user chose. One file per
// platform for what differs.
#include <span>
#include <string>

namespace Privilege {

// Gives the raw-socket privilege, where the process has it, to a helper process that opens
// raw ICMP sockets for it, then drops every capability this process holds. Before any
// thread and anything of Qt starts. A start that took the privilege from the program file
// keeps none of it when the program lies where someone other than root could plant code
// beside it, and says why in one line on stderr.
void DropAtStart();

// True when the process started with raised privilege (a file capability or set-user-id),
// and so must not load code from anywhere the user chooses.
bool SecureExecution();

// The environment variables through which Qt would load code from a folder the user chose,
// directly or by picking a theme plugin that brings in another toolkit and its modules.
std::span<const char* const> UnsafeEnvironment();

// Clears those variables. For a raised start, before the application object reads them;
// the command line it reads holds the program's name alone.
void ForgetUserPluginChoices();

// For a raised start, before any library reads the environment: keeps only the variables on
// the list in Privilege.cpp (the display, locale, user's folders, session and density ones),
// which name no library, driver, plugin or module. A second wall: the first is that the
// helper does nothing for this process but send checked echo requests.
void KeepOnlySafeEnvironment();

} // namespace Privilege
