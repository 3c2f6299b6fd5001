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
std::optional<std::string> Ip6Target(std::string_view AText) {
    TIp6Address Address;
    if (!ParseIp6Text(AText, Address) ||
        std::all_of(std::begin(Address.Bytes), std::end(Address.Bytes),
                    [](uint8_t AByte) { return AByte == 0; })) {
        return std::nullopt;
    }
    return Ip6Text(Address);
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
        TIp6Address Literal;
        if (ParseIp6Text(Target, Literal)) {
            return Ip6Target(Target);
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
    return Ip6Target(Target);
}
