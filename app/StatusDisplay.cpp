#include "app/StatusDisplay.h"

#include "hosts/HostList.h"
#include "net/SysInet.h"

TStatusDisplay NotPingedDisplay() {
    return {"Not pinged", clBlue, 0};
}

TStatusDisplay NameNotFoundDisplay() {
    return {"Name not found", clBlue, 0};
}

TStatusDisplay ReplyDisplay(TReplyKind AKind, const std::string& AHost) {
    switch (AKind) {
    case rkEchoReply:
        return {"Reply from " + AHost, clGreen, 1};
    case rkTimedOut:
        return {"Timed out (" + AHost + ")", clRed, 2};
    default:
        return {"An error has occurred", clRed, 2};
    }
}

TStatusDisplay ErrorDisplay(const std::string& AMessage) {
    return {AMessage, clRed, 0};
}

std::string ErrorBoxText(const std::string& AMessage) {
    // Compared as a byte: the last byte of a multi-byte character always sorts after ".".
    if (!AMessage.empty() && static_cast<unsigned char>(AMessage.back()) > '.') {
        return AMessage + ".";
    }
    return AMessage;
}

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
