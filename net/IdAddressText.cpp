#include "net/IdAddressText.h"

#include "net/IdConvert.h"

#include <charconv>

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

namespace {
// Address text without its zone is written into a buffer this long (an IPv6 text is at most
// 45 characters): every reply's source address is written so, and a string appended to piece
// by piece cost more than the rest of the reply's decoding.
constexpr size_t AddressTextBytes = 48;

char* WriteDotted(char* AOut, const uint8_t (&ABytes)[4]) {
    for (int I = 0; I < 4; ++I) {
        if (I > 0) {
            *AOut++ = '.';
        }
        AOut = std::to_chars(AOut, AOut + 3, ABytes[I]).ptr;
    }
    return AOut;
}
} // namespace

std::string DottedText(const uint8_t (&ABytes)[4]) {
    char Text[AddressTextBytes];
    return std::string(Text, WriteDotted(Text, ABytes));
}

namespace {
constexpr size_t Ip6Groups = 8;
// An interface name holds at most 15 bytes on Linux; an index fits in 10 digits.
constexpr size_t MaxZoneBytes = 15;

// Printable, and none of the characters that end or frame an address, nor those Linux
// refuses in an interface name.
bool IsZoneText(std::string_view AZone) {
    if (AZone.empty() || AZone.size() > MaxZoneBytes) {
        return false;
    }
    for (const char C : AZone) {
        if (C <= ' ' || C > '~' || C == '%' || C == '/' || C == ':' || C == '[' || C == ']') {
            return false;
        }
    }
    return true;
}

// One to four hex digits.
bool ParseGroup(std::string_view AText, uint16_t& AValue) {
    if (AText.empty() || AText.size() > 4) {
        return false;
    }
    unsigned Value = 0;
    for (const char C : AText) {
        const int Digit = HexDigit(C);
        if (Digit < 0) {
            return false;
        }
        Value = Value * 16 + static_cast<unsigned>(Digit);
    }
    AValue = static_cast<uint16_t>(Value);
    return true;
}

// The dotted tail in the decimal octets of RFC 3986: no leading zeros, no signs, no
// spaces, unlike the looser rule the IPv4 entry box keeps for its own text.
bool ParseIpv4Tail(std::string_view AText, uint8_t (&ABytes)[4]) {
    for (int I = 0; I < 4; ++I) {
        const auto Dot = I < 3 ? AText.find('.') : AText.size();
        if (Dot == std::string_view::npos) {
            return false;
        }
        const std::string_view Octet = AText.substr(0, Dot);
        if (Octet.empty() || Octet.size() > 3 || (Octet.size() > 1 && Octet[0] == '0')) {
            return false;
        }
        unsigned Value = 0;
        for (const char C : Octet) {
            if (C < '0' || C > '9') {
                return false;
            }
            Value = Value * 10 + static_cast<unsigned>(C - '0');
        }
        if (Value > 255) {
            return false;
        }
        ABytes[I] = static_cast<uint8_t>(Value);
        AText.remove_prefix(I < 3 ? Dot + 1 : Dot);
    }
    return AText.empty();
}

// The groups of one side of "::" (or of the whole address), written from AGroups[0] on.
// The dotted tail may end the last side only. false on bad text or more groups than AMax.
bool ParseGroups(std::string_view AText, bool ALastSide, uint16_t* AGroups, size_t AMax,
                 size_t& ACount) {
    ACount = 0;
    if (AText.empty()) {
        return true;
    }
    for (;;) {
        const auto Colon = AText.find(':');
        const std::string_view Piece = AText.substr(0, Colon);
        if (Colon == std::string_view::npos && ALastSide &&
            Piece.find('.') != std::string_view::npos) {
            uint8_t Quad[4];
            if (ACount + 2 > AMax || !ParseIpv4Tail(Piece, Quad)) {
                return false;
            }
            AGroups[ACount++] = static_cast<uint16_t>((Quad[0] << 8) | Quad[1]);
            AGroups[ACount++] = static_cast<uint16_t>((Quad[2] << 8) | Quad[3]);
            return true;
        }
        if (ACount == AMax || !ParseGroup(Piece, AGroups[ACount])) {
            return false;
        }
        ++ACount;
        if (Colon == std::string_view::npos) {
            return true;
        }
        AText.remove_prefix(Colon + 1);
    }
}

bool ParseBareIp6(std::string_view AText, uint16_t (&AGroups)[Ip6Groups]) {
    const auto Gap = AText.find("::");
    uint16_t Head[Ip6Groups] = {};
    uint16_t Tail[Ip6Groups] = {};
    size_t HeadCount = 0;
    size_t TailCount = 0;
    if (Gap == std::string_view::npos) {
        if (!ParseGroups(AText, true, Head, Ip6Groups, HeadCount) || HeadCount != Ip6Groups) {
            return false;
        }
    } else {
        const std::string_view Before = AText.substr(0, Gap);
        const std::string_view After = AText.substr(Gap + 2);
        // "::" stands for at least one group, so each side holds at most seven; a second
        // "::" leaves an empty piece that no group parses.
        if (!ParseGroups(Before, false, Head, Ip6Groups - 1, HeadCount) ||
            !ParseGroups(After, true, Tail, Ip6Groups - 1 - HeadCount, TailCount)) {
            return false;
        }
    }
    for (size_t I = 0; I < Ip6Groups; ++I) {
        AGroups[I] = 0;
    }
    for (size_t I = 0; I < HeadCount; ++I) {
        AGroups[I] = Head[I];
    }
    for (size_t I = 0; I < TailCount; ++I) {
        AGroups[Ip6Groups - TailCount + I] = Tail[I];
    }
    return true;
}

char* WriteHexGroup(char* AOut, uint16_t AValue) {
    static constexpr char Digits[] = "0123456789abcdef";
    bool Started = false;
    for (int Shift = 12; Shift >= 0; Shift -= 4) {
        const unsigned Digit = (AValue >> Shift) & 0xF;
        if (Digit != 0 || Started || Shift == 0) {
            *AOut++ = Digits[Digit];
            Started = true;
        }
    }
    return AOut;
}
} // namespace

bool ParseIp6Text(std::string_view AText, TIp6Address& AAddress) {
    // Every IPv6 text has a colon and no dotted quad or name has one: the texts met most, on
    // the ping path and in the grid, are turned away at once.
    if (AText.find(':') == std::string_view::npos) {
        return false;
    }
    if (!AText.empty() && AText.front() == '[') {
        if (AText.size() < 2 || AText.back() != ']') {
            return false;
        }
        AText = AText.substr(1, AText.size() - 2);
    }
    std::string_view Zone;
    const auto Percent = AText.find('%');
    if (Percent != std::string_view::npos) {
        Zone = AText.substr(Percent + 1);
        AText = AText.substr(0, Percent);
        if (!IsZoneText(Zone)) {
            return false;
        }
    }
    uint16_t Groups[Ip6Groups];
    if (!ParseBareIp6(AText, Groups)) {
        return false;
    }
    for (size_t I = 0; I < Ip6Groups; ++I) {
        AAddress.Bytes[2 * I] = static_cast<uint8_t>(Groups[I] >> 8);
        AAddress.Bytes[2 * I + 1] = static_cast<uint8_t>(Groups[I]);
    }
    AAddress.Zone = Zone;
    return true;
}

std::string Ip6Text(const TIp6Address& AAddress) {
    uint16_t Groups[Ip6Groups];
    for (size_t I = 0; I < Ip6Groups; ++I) {
        Groups[I] = static_cast<uint16_t>((AAddress.Bytes[2 * I] << 8) | AAddress.Bytes[2 * I + 1]);
    }
    // An IPv4-mapped address (::ffff:0:0/96) reads as the IPv4 address it carries.
    const bool Mapped = Groups[0] == 0 && Groups[1] == 0 && Groups[2] == 0 && Groups[3] == 0 &&
                        Groups[4] == 0 && Groups[5] == 0xFFFF;
    const size_t HexGroups = Mapped ? 6 : Ip6Groups;
    size_t BestStart = 0;
    size_t BestLength = 0;
    for (size_t I = 0; I < HexGroups;) {
        size_t Run = 0;
        while (I + Run < HexGroups && Groups[I + Run] == 0) {
            ++Run;
        }
        if (Run > BestLength) {
            BestStart = I;
            BestLength = Run;
        }
        I += Run > 0 ? Run : 1;
    }
    // RFC 5952 keeps a lone zero group as "0": "::" stands for two or more.
    if (BestLength < 2) {
        BestLength = 0;
    }
    char Text[AddressTextBytes];
    char* End = Text;
    for (size_t I = 0; I < HexGroups; ++I) {
        if (BestLength > 0 && I == BestStart) {
            *End++ = ':';
            *End++ = ':';
            I += BestLength - 1;
            continue;
        }
        if (End != Text && End[-1] != ':') {
            *End++ = ':';
        }
        End = WriteHexGroup(End, Groups[I]);
    }
    if (Mapped) {
        const uint8_t Tail[4] = {AAddress.Bytes[12], AAddress.Bytes[13], AAddress.Bytes[14],
                                 AAddress.Bytes[15]};
        *End++ = ':';
        End = WriteDotted(End, Tail);
    }
    std::string Result(Text, End);
    if (!AAddress.Zone.empty()) {
        Result += '%';
        Result += AAddress.Zone;
    }
    return Result;
}
