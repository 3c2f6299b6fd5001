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
