// POSIX name lookup for the address checks: the system resolver, both families at once.
#include "net/Resolver.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Resolver {

bool Startup() {
    return true;
}
void Cleanup() {}

void SystemHostName(char* ABuffer, size_t ASize) {
    ::gethostname(ABuffer, ASize);
}

TNameAddresses Lookup(const std::string& AName) {
    addrinfo Hints{};
    Hints.ai_family = AF_UNSPEC;
    // One entry per address rather than one per socket type.
    Hints.ai_socktype = SOCK_RAW;
    // A family no interface has (IPv6 on a host with IPv4 alone) is not asked for.
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
