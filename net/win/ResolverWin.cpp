// Windows name lookup for the address checks: Windows Sockets 1.1 (wsock32), imported
// directly, with its own start-up and clean-up around every lookup.
#include "net/Resolver.h"

#include <winsock2.h>

namespace Resolver {

bool Startup() {
    WSADATA Data;
    return ::WSAStartup(0x0101, &Data) == 0;
}

void Cleanup() {
    ::WSACleanup();
}

void SystemHostName(char* ABuffer, size_t ASize) {
    ::gethostname(ABuffer, static_cast<int>(ASize));
}

std::string FirstIPv4(const std::string& AName) {
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

} // namespace Resolver
