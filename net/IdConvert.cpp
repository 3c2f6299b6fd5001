#include "net/IdConvert.h"

#include "net/IdException.h"
#include "net/IdResourceStrings.h"

#include <string>

int HexDigit(char C) {
    if (C >= '0' && C <= '9') {
        return C - '0';
    }
    if (C >= 'a' && C <= 'f') {
        return C - 'a' + 10;
    }
    if (C >= 'A' && C <= 'F') {
        return C - 'A' + 10;
    }
    return -1;
}

bool TryStrToInt(std::string_view AText, int32_t& AValue) {
    size_t I = 0;
    while (I < AText.size() && AText[I] == ' ') {
        ++I;
    }
    bool Negative = false;
    if (I < AText.size() && (AText[I] == '+' || AText[I] == '-')) {
        Negative = AText[I] == '-';
        ++I;
    }
    bool Hex = false;
    if (I < AText.size() && (AText[I] == '$' || AText[I] == 'x' || AText[I] == 'X')) {
        Hex = true;
        ++I;
    } else if (I + 1 < AText.size() && AText[I] == '0' &&
               (AText[I + 1] == 'x' || AText[I + 1] == 'X')) {
        Hex = true;
        I += 2;
    }
    if (I == AText.size()) {
        return false;
    }
    const uint64_t Limit = Hex ? 0xFFFFFFFFull : (Negative ? 0x80000000ull : 0x7FFFFFFFull);
    const int Base = Hex ? 16 : 10;
    uint64_t Value = 0;
    for (; I < AText.size(); ++I) {
        const int Digit =
            Hex ? HexDigit(AText[I]) : (AText[I] >= '0' && AText[I] <= '9' ? AText[I] - '0' : -1);
        if (Digit < 0) {
            return false;
        }
        Value = Value * static_cast<uint64_t>(Base) + static_cast<uint64_t>(Digit);
        if (Value > Limit) {
            return false;
        }
    }
    uint32_t Bits = static_cast<uint32_t>(Value);
    if (Negative) {
        Bits = 0u - Bits;
    }
    AValue = static_cast<int32_t>(Bits);
    return true;
}

int32_t StrToIntDef(std::string_view AText, int32_t ADefault) {
    int32_t Value;
    return TryStrToInt(AText, Value) ? Value : ADefault;
}

int32_t StrToInt(std::string_view AText) {
    int32_t Value;
    if (!TryStrToInt(AText, Value)) {
        throw EConvertError(
            FormatText(IdResourceStrings::RSInvalidIntegerValue, std::string(AText)));
    }
    return Value;
}
