#pragma once
// What the window pings for the text the user typed.
#include <optional>
#include <string>

class TInternetManager;
class THostList;

// The address to ping for the typed text, in this order: a dotted quad as typed; else the
// address of the host list entry with that display name (never resolved); else an IPv6
// literal (RFC 4291, bare or in "[ ]", with an optional "%zone"); else the resolver's answer
// for a name, IPv4 first. A dotted quad goes on as it stands; an IPv6 address as its RFC 5952
// text with its zone. None when the final text is neither a dotted quad that denotes a
// non-zero address nor an IPv6 address other than "::".
std::optional<std::string> PingTarget(const std::string& AText, const TInternetManager& AManager,
                                      const THostList& AList);
