#pragma once
// Turns the text the user typed into an address: the dotted-quad check and the lookup of a
// host name, where "Self" stands for this computer.
#include <cstdint>
#include <string>

struct TNameAddresses; // net/Resolver.h

// The name lookup behind the address checks; tests hand the manager a scripted one, since
// no machine's resolver can be made to know or not know a name on demand.
struct TResolverCalls {
    bool (*Startup)();
    void (*Cleanup)();
    std::string (*HostName)();
    TNameAddresses (*Lookup)(const std::string& AName);
};

class TInternetManager {
  public:
    TInternetManager(); // the system's resolver
    explicit TInternetManager(const TResolverCalls& AResolver) : FResolver(AResolver) {}

    // The address number, first part in the most significant byte; 0 when the text is not
    // a dotted quad (or denotes 0).
    uint32_t DottedQuadToNumber(const std::string& AText) const;
    // The dotted-quad text of the name's first IPv4 address; for a name with IPv6 addresses
    // only, the RFC 5952 text of its first; empty when it is unknown.
    std::string HostNameToIP(const std::string& AName) const;

  private:
    TResolverCalls FResolver;
};
