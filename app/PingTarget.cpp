#include "app/PingTarget.h"

#include "hosts/HostList.h"
#include "net/IdAddressText.h"
#include "net/SysInet.h"

#include <algorithm>

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

// The text the echo client takes for an IPv6 address; none for "::", which like 0.0.0.0
// names no host.
std::optional<std::string> Ip6Target(const TIp6Address& AAddress) {
    if (std::all_of(std::begin(AAddress.Bytes), std::end(AAddress.Bytes),
                    [](uint8_t AByte) { return AByte == 0; })) {
        return std::nullopt;
    }
    return Ip6Text(AAddress);
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
        // A literal is its own address: never sent to the resolver, which would only echo
        // it back, or refuse it where AI_ADDRCONFIG finds no IPv6 interface.
        if (TIp6Address Literal; ParseIp6Text(Target, Literal)) {
            return Ip6Target(Literal);
        }
        Target = AManager.HostNameToIP(Target);
        Found = HasVisibleText(Target);
    }
    if (!Found) {
        return std::nullopt;
    }
    if (AManager.DottedQuadToNumber(Target) != 0) {
        return Target;
    }
    if (TIp6Address Address; ParseIp6Text(Target, Address)) {
        return Ip6Target(Address);
    }
    return std::nullopt;
}
