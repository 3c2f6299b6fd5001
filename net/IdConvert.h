#pragma once
// The one integer conversion rule of the address texts and service names.
#include <cstdint>
#include <string_view>

// Leading blanks (code 32 only), an optional sign, then decimal digits or hexadecimal
// digits after "$", "x", "X", "0x" or "0X", and nothing after the digits. Decimal values
// must fit a signed 32-bit integer; hexadecimal ones may use all 32 bits (two's complement).
bool TryStrToInt(std::string_view AText, int32_t& AValue);
int32_t StrToIntDef(std::string_view AText, int32_t ADefault);
// Raises EConvertError "'<text>' is not a valid integer value".
int32_t StrToInt(std::string_view AText);

// The value of one hexadecimal digit in either case; -1 for any other character.
int HexDigit(char C);
