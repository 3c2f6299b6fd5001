// Windows name lookup for the address checks: getaddrinfo of Windows Sockets 2 (ws2_32),
// imported directly, with its own start-up and clean-up around every lookup. The binding of
// the socket stack loads the same library at run time; the import only keeps it mapped.
#include "net/Resolver.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace Resolver {

bool Startup() {
    WSADATA Data;
    return ::WSAStartup(0x0202, &Data) == 0;
}

void Cleanup() {
    ::WSACleanup();
}

void SystemHostName(char* ABuffer, size_t ASize) {
    ::gethostname(ABuffer, static_cast<int>(ASize));
}

TNameAddresses Lookup(const std::string& AName) {
    addrinfo Hints{};
    Hints.ai_family = AF_UNSPEC;
    // A family no interface has is not asked for; Windows gives one entry per address.
    Hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* Found = nullptr;
    if (::getaddrinfo(AName.c_str(), nullptr, &Hints, &Found) != 0 || Found == nullptr) {
        return {};
    }
    TNameAddresses Result =
        AddressesOf<addrinfo, sockaddr_in, sockaddr_in6>(Found, AF_INET, AF_INET6);
    ::freeaddrinfo(Found);
    return Result;
}

} // namespace Resolver
