// POSIX name lookup for the address checks: the system resolver, first IPv4 address.
#include "net/IdPlatform.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace IdPlatform {

bool ResolverStartup() {
    return true;
}
void ResolverCleanup() {}

std::string ResolverHostName() {
    char Buffer[128] = {};
    ::gethostname(Buffer, sizeof Buffer);
    Buffer[sizeof Buffer - 1] = '\0';
    return Buffer;
}

std::string ResolverFirstIPv4(const std::string& AName) {
    addrinfo Hints{};
    Hints.ai_family = AF_INET;
    Hints.ai_socktype = SOCK_RAW;
    addrinfo* Found = nullptr;
    if (::getaddrinfo(AName.c_str(), nullptr, &Hints, &Found) != 0 || Found == nullptr) {
        return {};
    }
    std::string Result;
    for (const addrinfo* A = Found; A != nullptr && Result.empty(); A = A->ai_next) {
        if (A->ai_family == AF_INET && A->ai_addr != nullptr) {
            char Text[INET_ADDRSTRLEN] = {};
            const auto* In = reinterpret_cast<const sockaddr_in*>(A->ai_addr);
            if (::inet_ntop(AF_INET, &In->sin_addr, Text, sizeof Text) != nullptr) {
                Result = Text;
            }
        }
    }
    ::freeaddrinfo(Found);
    return Result;
}

} // namespace IdPlatform
