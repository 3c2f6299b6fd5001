#include "net/SysInet.h"

#include "net/IdConvert.h"
#include "net/IdPlatform.h"

TInternetManager::TInternetManager()
    : FResolver{&IdPlatform::ResolverStartup, &IdPlatform::ResolverCleanup,
                &IdPlatform::ResolverHostName, &IdPlatform::ResolverFirstIPv4} {}

uint32_t TInternetManager::DottedQuadToNumber(const std::string& AText) const {
    std::string Part;
    int Dots = 0;
    int32_t Parts[4] = {0, 0, 0, 0};
    for (const char C : AText) {
        if (C != '.') {
            Part += C;
            continue;
        }
        if (Dots < 3) {
            Parts[Dots] = StrToIntDef(Part, 0);
        }
        Part.clear();
        ++Dots;
    }
    Parts[3] = StrToIntDef(Part, 0);
    if (Dots != 3) {
        return 0;
    }
    // Only an upper bound: a negative part passes and subtracts, as it always has.
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
    std::string Result = FResolver.FirstIPv4(Name);
    FResolver.Cleanup();
    return Result;
}
