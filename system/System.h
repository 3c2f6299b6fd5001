#pragma once
// What the network code and the host list both ask of the operating system, kept apart
// from the socket library so that a user of these alone links no sockets and no libcap.
// Each platform has its own implementation file, chosen by the build.
#include <cstdint>
#include <string>
#include <string_view>

namespace System {

// Case-insensitive comparison in the user's locale; true when the texts are equal. An
// embedded zero byte is compared like any other.
bool SameTextLocale(std::string_view A, std::string_view B);

// The running executable's full path as the system reports it; empty when it cannot tell.
std::string ExecutablePath();

// The system's message for one of its own error codes (errno on POSIX, GetLastError on
// Windows), untrimmed; empty when it has none.
std::string ErrorMessage(uint32_t ACode);

} // namespace System
