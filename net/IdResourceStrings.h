#pragma once
// The fixed texts of the network code.

namespace IdResourceStrings {
inline constexpr const char* RSSocketErrorFormat = "Socket Error # %d\r\n%s";
inline constexpr const char* RSWS2LoadError = "Error on loading Winsock2 library (%s)";
inline constexpr const char* RSWS2CallError = "Error on call Winsock2 library function %s";
inline constexpr const char* RSWinsockInitializationError = "Winsock Initialization Error.";
inline constexpr const char* RSCannotAllocateSocket = "Cannot allocate socket.";
inline constexpr const char* RSSetSizeExceeded = "Set Size Exceeded.";
inline constexpr const char* RSInvalidServiceName = "%s is not a valid service.";
inline constexpr const char* RSConnectionClosedGracefully = "Connection Closed Gracefully.";
inline constexpr const char* RSPackageSizeTooBig = "Package Size Too Big.";
inline constexpr const char* RSNotAllBytesSent = "Not all bytes sent.";
inline constexpr const char* RSICMPNotEnoughtBytes = "Not enough bytes received";
inline constexpr const char* RSICMPNonEchoResponse = "Non-echo type response received";
inline constexpr const char* RSInvalidIntegerValue = "'%s' is not a valid integer value";
inline constexpr const char* RSWS2LibraryName = "WS2_32.DLL";
inline constexpr const char* RSHostNotFound = "Host not found.";

// Text of a Windows Sockets error code; empty for a code outside the table.
const char* SocketErrorTableText(int ACode);
} // namespace IdResourceStrings
