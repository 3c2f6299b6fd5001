#include "net/Resolver.h"

#include "net/IdAddressText.h"

#include <cstring>

namespace Resolver {

std::string HostName() {
    // A zero-filled 128-byte buffer whatever the system's limit: a longer name is cut to
    // 127 bytes, and a failed call leaves it empty.
    char Buffer[128] = {};
    SystemHostName(Buffer, sizeof Buffer);
    Buffer[sizeof Buffer - 1] = '\0';
    return Buffer;
}

void NoteIPv4(TNameAddresses& AFound, const void* AInAddr) {
    if (AFound.IPv4.empty()) {
        uint8_t Bytes[4];
        std::memcpy(Bytes, AInAddr, sizeof Bytes);
        AFound.IPv4 = DottedText(Bytes);
    }
}

void NoteIPv6(TNameAddresses& AFound, const void* AIn6Addr, uint32_t AScopeId) {
    if (!AFound.IPv6.empty()) {
        return;
    }
    TIp6Address Address;
    std::memcpy(Address.Bytes, AIn6Addr, sizeof Address.Bytes);
    // The number, not the interface's name: it is what the resolver knows, and it names the
    // same link on every platform.
    if (AScopeId != 0) {
        Address.Zone = std::to_string(AScopeId);
    }
    AFound.IPv6 = Ip6Text(Address);
}

} // namespace Resolver
