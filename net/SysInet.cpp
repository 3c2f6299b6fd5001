#include "net/SysInet.h"

#include "net/IdAddressText.h"
#include "net/IdConvert.h"
#include "net/Resolver.h"

TInternetManager::TInternetManager()
    : FResolver{&Resolver::Startup, &Resolver::Cleanup, &Resolver::HostName, &Resolver::Lookup} {}

uint32_t TInternetManager::DottedQuadToNumber(const std::string& AText) const {
    // Exactly three dots, and each piece an integer or taken as 0.
    const TDottedPieces Pieces = SplitDotted(AText);
    if (Pieces.Dots != 3) {
        return 0;
    }
    int32_t Parts[4];
    for (int I = 0; I < 4; ++I) {
        Parts[I] = StrToIntDef(Pieces.Part[I], 0);
    }
    // Only an upper bound: a negative part passes and is subtracted, so "1.2.3.-1" gives
    // the number of 1.2.2.255.
    for (const int32_t P : Parts) {
        if (P > 255) {
            return 0;
        }
    }
    uint32_t Result = 0;
    for (const int32_t P : Parts) {
        Result = Result * 256u + static_cast<uint32_t>(P);
    }
    return Result;
}

std::string TInternetManager::HostNameToIP(const std::string& AName) const {
    if (AName.empty()) {
        return {};
    }
    if (!FResolver.Startup()) {
        return {};
    }
    std::string Name = AName;
    if (Name == "Self") {
        Name = FResolver.HostName();
    }
    TNameAddresses Found = FResolver.Lookup(Name);
    FResolver.Cleanup();
    // IPv4 first, as before IPv6 was known: a name with both kinds of address pings the same
    // host as it always did.
    return !Found.IPv4.empty() ? std::move(Found.IPv4) : std::move(Found.IPv6);
}
