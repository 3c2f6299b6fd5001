// IPv6 address text on arbitrary input: what reads as an address is written in a form that
// reads back as the same address and is written the same again; and for bare text without
// a zone, the system's own parser agrees on every byte. Shortened for a narrow box, any text
// keeps its own beginning and end around the ellipsis.
#include "net/AddressEllipsis.h"
#include "net/IdAddressText.h"

#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace {
// Whether AShown is a non-empty beginning of AText, the ellipsis, and an end of AText that
// leaves at least one character out. Any place may be the cut: the text may hold dots too.
bool IsCutAround(std::string_view AText, std::string_view AShown, std::string_view AEllipsis) {
    for (size_t Cut = 1; Cut < AText.size() && Cut < AShown.size(); ++Cut) {
        if (AText[Cut - 1] != AShown[Cut - 1]) {
            return false;
        }
        const std::string_view Rest = AShown.substr(Cut);
        if (Rest.substr(0, AEllipsis.size()) != AEllipsis) {
            continue;
        }
        const std::string_view Tail = Rest.substr(AEllipsis.size());
        if (Tail.size() < AText.size() - Cut && AText.substr(AText.size() - Tail.size()) == Tail) {
            return true;
        }
    }
    return false;
}

void CheckShortened(const std::string& AText, int ABox) {
    const std::string_view Ellipsis = "...";
    const auto Width = [](std::string_view AShown) { return static_cast<int>(AShown.size()); };
    const std::string Shown = ShortenAddress(AText, Width, ABox, Ellipsis);
    if (Shown == AText) {
        return;
    }
    if (static_cast<int>(AText.size()) <= ABox || !IsCutAround(AText, Shown, Ellipsis)) {
        __builtin_trap();
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    const std::string Text(reinterpret_cast<const char*>(AData), ASize);
    TIp6Address Address;
    const bool Parsed = ParseIp6Text(Text, Address);
    // Shortening tries each number of groups in turn, fine for an address but slow for the
    // fuzzer's longest texts.
    if (ASize <= 128) {
        CheckShortened(Text, static_cast<int>(ASize % 24));
    }
    if (Text.find_first_of("[]%") == std::string::npos && Text.find('\0') == std::string::npos) {
        uint8_t System[16];
        const bool SystemParsed = inet_pton(AF_INET6, Text.c_str(), System) == 1;
        if (SystemParsed != Parsed || (Parsed && std::memcmp(System, Address.Bytes, 16) != 0)) {
            __builtin_trap();
        }
    }
    if (!Parsed) {
        return 0;
    }
    const std::string Written = Ip6Text(Address);
    TIp6Address Again;
    if (!ParseIp6Text(Written, Again) || !(Again == Address) || Ip6Text(Again) != Written) {
        __builtin_trap();
    }
    if (!ParseIp6Text("[" + Written + "]", Again) || !(Again == Address)) {
        __builtin_trap();
    }
    CheckShortened(Written, static_cast<int>(ASize % 40));
    return 0;
}
