#include "app/PingTarget.h"

#include "hosts/HostList.h"
#include "net/SysInet.h"

namespace {

bool IsBlankOrControl(char AChar) {
    return static_cast<unsigned char>(AChar) <= ' ';
}

bool HasVisibleText(const std::string& AText) {
    for (const char Char : AText) {
        if (!IsBlankOrControl(Char)) {
            return true;
        }
    }
    return false;
}

} // namespace

std::optional<std::string> PingTarget(const std::string& AText, const TInternetManager& AManager,
                                      const THostList& AList) {
    std::string Target = AText;
    bool Found = AManager.DottedQuadToNumber(Target) != 0;
    if (!Found) {
        if (auto Address = AList.LookupDisplayName(Target)) {
            Target = std::move(*Address);
            Found = true;
        }
    }
    if (!Found) {
        Target = AManager.HostNameToIP(Target);
        Found = HasVisibleText(Target);
    }
    if (Found && AManager.DottedQuadToNumber(Target) != 0) {
        return Target;
    }
    return std::nullopt;
}
