#pragma once
// The address checks' own name lookup, apart from the socket stack: what TInternetManager
// asks of the system's resolver. Each platform has its own implementation file, chosen by
// the build; Resolver.cpp holds what is the same on every platform.
#include <cstddef>
#include <cstdint>
#include <string>

// What one lookup of a name found of each family, as the echo client takes it: the first
// IPv4 address as a dotted quad, the first IPv6 address as RFC 5952 text with its scope as
// a zone number. Empty where the name has no address of that family.
struct TNameAddresses {
    std::string IPv4;
    std::string IPv6;
    friend bool operator==(const TNameAddresses&, const TNameAddresses&) = default;
};

namespace Resolver {

// A start-up before and a clean-up after every lookup, where the platform needs them.
bool Startup();
void Cleanup();

// This computer's host name; empty when the system cannot tell.
std::string HostName();

// One lookup of the name for both families (getaddrinfo with AF_UNSPEC and AI_ADDRCONFIG),
// so that a name that does not exist costs one query, not one per family.
TNameAddresses Lookup(const std::string& AName);

// The system's gethostname into ABuffer, which holds ASize bytes: a name that fills it is
// not ended there. HostName makes the rest the same on every platform.
void SystemHostName(char* ABuffer, size_t ASize);

// Each address the system's resolver gave, in its order, of either family: the first of each
// family is kept. AInAddr points at the address bytes in network order (an in_addr or an
// in6_addr); a non-zero scope id (a link-local address's) is written as the zone.
void NoteIPv4(TNameAddresses& AFound, const void* AInAddr);
void NoteIPv6(TNameAddresses& AFound, const void* AIn6Addr, uint32_t AScopeId);

// What a getaddrinfo answer holds, in its order, through the platform's own records
// (addrinfo, sockaddr_in, sockaddr_in6) and family numbers.
template <typename TAddrInfo, typename TIn, typename TIn6>
TNameAddresses AddressesOf(const TAddrInfo* AFirst, int AInet, int AInet6) {
    TNameAddresses Result;
    for (const TAddrInfo* A = AFirst; A != nullptr; A = A->ai_next) {
        if (A->ai_addr == nullptr) {
            continue;
        }
        if (A->ai_family == AInet) {
            NoteIPv4(Result, &reinterpret_cast<const TIn*>(A->ai_addr)->sin_addr);
        } else if (A->ai_family == AInet6) {
            const auto* In6 = reinterpret_cast<const TIn6*>(A->ai_addr);
            NoteIPv6(Result, &In6->sin6_addr, In6->sin6_scope_id);
        }
    }
    return Result;
}

} // namespace Resolver
