#pragma once
// IPv4 address text: the one splitter of dotted text, shared by the checks and conversions
// that read it (each keeps its own rule for the pieces), and the one way of writing it.
#include <cstdint>
#include <string>
#include <string_view>

// Host text cut at its first three dots; the fourth piece keeps any further dots.
struct TDottedPieces {
    std::string Part[4];
    int Dots = 0; // every dot of the text, those left in the fourth piece included
};
TDottedPieces SplitDotted(std::string_view AText);

// The dotted-quad text of four address bytes in storage order ("127.0.0.1").
std::string DottedText(const uint8_t (&ABytes)[4]);

// An IPv6 address: its sixteen bytes in network order, and the zone that a link-local
// address needs to say which link, as it was typed (an interface name or number, without
// the "%"); empty where none was given. Turning a zone name into an interface index is the
// platform's work, done where the address is used.
struct TIp6Address {
    uint8_t Bytes[16] = {};
    std::string Zone;
    friend bool operator==(const TIp6Address&, const TIp6Address&) = default;
};

// Reads IPv6 text in the forms of RFC 4291 (eight groups, "::" for one run of zero groups,
// the last 32 bits as a dotted quad), bare or in "[" "]", with an optional "%zone". false,
// leaving AAddress alone, for any other text.
bool ParseIp6Text(std::string_view AText, TIp6Address& AAddress);

// The RFC 5952 text of an address: lower case, no leading zeros, "::" for the longest run
// of two or more zero groups (the first of equal runs), an IPv4-mapped address with its
// dotted tail, the zone after "%".
std::string Ip6Text(const TIp6Address& AAddress);
