#pragma once
// The address checks' own name lookup, apart from the socket stack: what TInternetManager
// asks of the system's resolver. Each platform has its own implementation file, chosen by
// the build; Resolver.cpp holds what is the same on every platform.
#include <cstddef>
#include <string>

namespace Resolver {

// A start-up before and a clean-up after every lookup, where the platform needs them.
bool Startup();
void Cleanup();

// This computer's host name; empty when the system cannot tell.
std::string HostName();

// The first IPv4 address of the name as dotted-quad text; empty when the name is unknown.
std::string FirstIPv4(const std::string& AName);

// The system's gethostname into ABuffer, which holds ASize bytes: a name that fills it is
// not ended there. HostName makes the rest the same on every platform.
void SystemHostName(char* ABuffer, size_t ASize);

} // namespace Resolver
