// Windows name lookup for the address checks: Windows Sockets 1.1 (wsock32), imported
// directly, with its own start-up and clean-up around every lookup.
#include "net/IdPlatform.h"

#include <winsock2.h>

namespace IdPlatform {

bool ResolverStartup() {
    WSADATA Data;
    return ::WSAStartup(0x0101, &Data) == 0;
}

void ResolverCleanup() {
    ::WSACleanup();
}

std::string ResolverHostName() {
    char Buffer[128] = {};
    ::gethostname(Buffer, sizeof Buffer);
    Buffer[sizeof Buffer - 1] = '\0';
    return Buffer;
}

std::string ResolverFirstIPv4(const std::string& AName) {
    const hostent* Host = ::gethostbyname(AName.c_str());
    if (Host == nullptr || Host->h_addr_list == nullptr || Host->h_addr_list[0] == nullptr) {
        return {};
    }
    in_addr Address;
    Address.S_un.S_addr = *reinterpret_cast<const u_long*>(Host->h_addr_list[0]);
    // inet_ntoa's buffer belongs to the library: copy it before any other socket call.
    const char* Text = ::inet_ntoa(Address);
    return Text != nullptr ? std::string(Text) : std::string();
}

} // namespace IdPlatform
