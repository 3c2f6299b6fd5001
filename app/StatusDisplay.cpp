#include "app/StatusDisplay.h"

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
