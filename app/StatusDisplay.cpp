#include "app/StatusDisplay.h"

#include <string_view>

TStatusDisplay NotPingedDisplay() {
    return {"Not pinged", clBlue, 0};
}

TStatusDisplay NameNotFoundDisplay() {
    return {"Name not found", clBlue, 0};
}

TStatusDisplay ReplyDisplay(TReplyKind AKind, const std::string& AHost) {
    static constexpr std::string_view Reply = "Reply from ";
    static constexpr std::string_view TimedOut = "Timed out (";
    switch (AKind) {
    case rkEchoReply:
        return {std::string(Reply) + AHost, clGreen, 1, AHost, Reply.size()};
    case rkTimedOut:
        return {std::string(TimedOut) + AHost + ")", clRed, 2, AHost, TimedOut.size()};
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
