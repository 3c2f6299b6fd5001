#include "net/IdAddressText.h"

TDottedPieces SplitDotted(std::string_view AText) {
    TDottedPieces Pieces;
    std::string_view Rest = AText;
    for (int I = 0; I < 3; ++I) {
        const auto Dot = Rest.find('.');
        if (Dot == std::string_view::npos) {
            Pieces.Part[I] = Rest;
            Rest = {};
        } else {
            Pieces.Part[I] = Rest.substr(0, Dot);
            Rest.remove_prefix(Dot + 1);
            ++Pieces.Dots;
        }
    }
    Pieces.Part[3] = Rest;
    for (const char C : Rest) {
        if (C == '.') {
            ++Pieces.Dots;
        }
    }
    return Pieces;
}

std::string DottedText(const uint8_t (&ABytes)[4]) {
    std::string Result;
    for (int I = 0; I < 4; ++I) {
        if (I > 0) {
            Result += '.';
        }
        Result += std::to_string(ABytes[I]);
    }
    return Result;
}
