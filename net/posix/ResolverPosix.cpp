// POSIX name lookup for the address checks: the system resolver, first IPv4 address.
#include "net/Resolver.h"

#include <arpa/inet.h>
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

std::string FirstIPv4(const std::string& AName) {
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

} // namespace Resolver
