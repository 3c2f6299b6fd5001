#pragma once
// What the status line and picture show for each outcome, apart from any widget: the
// window only renders these.
#include "net/IdIcmpClient.h"

#include <cstdint>
#include <string>

struct TRgb {
    uint8_t R, G, B;
    friend bool operator==(const TRgb&, const TRgb&) = default;
};

inline constexpr TRgb clBlue{0, 0, 255};
inline constexpr TRgb clGreen{0, 128, 0};
inline constexpr TRgb clRed{255, 0, 0};
inline constexpr TRgb clWhite{255, 255, 255};
inline constexpr TRgb clPurple{128, 0, 128};

struct TStatusDisplay {
    std::string Text;
    TRgb Colour;
    int ImageIndex;
    // The address the text names, and where in the text it stands: the part a window too
    // narrow for the whole line may shorten. Empty where the text names none.
    std::string Address = {};
    size_t AddressAt = 0;
    friend bool operator==(const TStatusDisplay&, const TStatusDisplay&) = default;
};

TStatusDisplay NotPingedDisplay();
TStatusDisplay NameNotFoundDisplay();
// The outcome of a completed exchange with AHost, the address text handed to the client.
TStatusDisplay ReplyDisplay(TReplyKind AKind, const std::string& AHost);
// An error raised during the exchange: its message in red, the picture left at 0.
TStatusDisplay ErrorDisplay(const std::string& AMessage);

// The error box's text: the message, with "." appended when its last character sorts
// after the full stop.
std::string ErrorBoxText(const std::string& AMessage);
