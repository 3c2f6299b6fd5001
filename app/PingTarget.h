#pragma once
// What the window pings for the text the user typed.
#include <optional>
#include <string>

class TInternetManager;
class THostList;

// The address to ping for the typed text: a dotted quad as typed; else the address of the
// host list entry with that display name (never resolved); else the resolver's answer.
// None when the final text is not a dotted quad that denotes a non-zero address.
std::optional<std::string> PingTarget(const std::string& AText, const TInternetManager& AManager,
                                      const THostList& AList);
