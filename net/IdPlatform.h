#pragma once
// The seam between the network code and the operating system, besides the socket library
// itself, the address checks' resolver (net/Resolver.h) and what it shares with the host
// list (system/System.h). Each platform has one implementation file, chosen by the build.
#include <cstdint>
#include <string>

namespace IdPlatform {

using TModule = void*;
using TEntry = void (*)();

// The socket library as the binding sees it: loaded by name, looked up by entry name.
struct TLibraryLoader {
    TModule (*Load)(const char* AName);        // null on failure; LastError() tells why
    TEntry (*FindEntry)(TModule, const char*); // null when the library lacks the entry
    void (*Free)(TModule);
    uint32_t (*LastError)(); // the system's code for the last failed Load or FindEntry
};
const TLibraryLoader& SystemLibraryLoader();

// The system's message for a system error code, untrimmed; empty when it has none.
std::string SystemErrorMessage(uint32_t ACode);

// Milliseconds from a monotonic source, wrapping at 2^32 like the Windows tick counter.
uint32_t TickCount();
uint32_t CurrentProcessId();

// The interface index a zone names: its number, or the name of one of this computer's
// interfaces; 0 when it names none.
uint32_t ZoneIndex(const std::string& AZone);

} // namespace IdPlatform
