// The address-text parsers on arbitrary text: no crash, and the checks agree with each
// other where they must.
#include "net/IdConvert.h"
#include "net/IdException.h"
#include "net/IdStackWindows.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    const std::string Text(reinterpret_cast<const char*>(AData), ASize);
    int32_t Value;
    const bool Converts = TryStrToInt(Text, Value);
    if (Converts && StrToIntDef(Text, Value ^ 1) != Value) {
        __builtin_trap();
    }
    static TIdStackWindows Stack;
    const bool Quad = TIdStack::IsDottedQuad(Text);
    TIdInAddr Address{};
    try {
        Stack.ParseInAddr(Text, Address);
        // Parsing what InAddrToText wrote gives the same bytes back.
        TIdInAddr Again{};
        Stack.ParseInAddr(Stack.InAddrToText(Address), Again);
        if (std::memcmp(Again.Bytes, Address.Bytes, 4) != 0) {
            __builtin_trap();
        }
    } catch (const EConvertError&) {
        // Every dotted quad parses.
        if (Quad) {
            __builtin_trap();
        }
    }
    return 0;
}
