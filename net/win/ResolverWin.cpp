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
