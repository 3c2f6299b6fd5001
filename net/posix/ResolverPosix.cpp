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
    TNameAddresses Result;
    for (const addrinfo* A = Found; A != nullptr; A = A->ai_next) {
        if (A->ai_addr == nullptr) {
            continue;
        }
        if (A->ai_family == AF_INET) {
            NoteIPv4(Result, &reinterpret_cast<const sockaddr_in*>(A->ai_addr)->sin_addr);
        } else if (A->ai_family == AF_INET6) {
            const auto* In6 = reinterpret_cast<const sockaddr_in6*>(A->ai_addr);
            NoteIPv6(Result, &In6->sin6_addr, In6->sin6_scope_id);
        }
    }
    ::freeaddrinfo(Found);
    return Result;
}

} // namespace Resolver
