// IPv6 address text on arbitrary input: what reads as an address is written in a form that
// reads back as the same address and is written the same again; and for bare text without
// a zone, the system's own parser agrees on every byte.
#include "net/IdAddressText.h"

#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    const std::string Text(reinterpret_cast<const char*>(AData), ASize);
    TIp6Address Address;
    const bool Parsed = ParseIp6Text(Text, Address);
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
    return 0;
}
