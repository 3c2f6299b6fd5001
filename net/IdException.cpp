#include "net/IdException.h"

#include "net/IdPlatform.h"
#include "net/IdResourceStrings.h"

using namespace IdResourceStrings;

namespace {
std::string ReplaceFirst(const char* AFormat, const char* AToken, const std::string& AArg) {
    std::string Result(AFormat);
    const auto Pos = Result.find(AToken);
    if (Pos != std::string::npos) {
        Result.replace(Pos, 2, AArg);
    }
    return Result;
}

// The system's message loses trailing blanks, control characters and full stops so that
// it reads well after the headline's ": ".
std::string TrimSystemText(std::string AText) {
    while (!AText.empty()) {
        const auto Last = static_cast<unsigned char>(AText.back());
        if (Last <= 32 || Last == '.') {
            AText.pop_back();
        } else {
            break;
        }
    }
    return AText;
}
} // namespace

std::string FormatText(const char* AFormat, const std::string& AArg) {
    return ReplaceFirst(AFormat, "%s", AArg);
}

std::string FormatText(const char* AFormat, int32_t AArg) {
    return ReplaceFirst(AFormat, "%d", std::to_string(AArg));
}

EIdConnClosedGracefully::EIdConnClosedGracefully()
    : EIdSilentException(RSConnectionClosedGracefully) {}

EIdInvalidSocket::EIdInvalidSocket() : EIdException(RSCannotAllocateSocket) {}

EIdStackInitializationFailed::EIdStackInitializationFailed()
    : EIdStackError(RSWinsockInitializationError) {}

EIdStackSetSizeExceeded::EIdStackSetSizeExceeded() : EIdStackError(RSSetSizeExceeded) {}

EIdPackageSizeTooBig::EIdPackageSizeTooBig() : EIdSocketHandleError(RSPackageSizeTooBig) {}

EIdNotAllBytesSent::EIdNotAllBytesSent() : EIdSocketHandleError(RSNotAllBytesSent) {}

EIdWS2StubError::EIdWS2StubError(std::string AHeadline, uint32_t ASystemErrorCode)
    : EIdWS2StubError(std::move(AHeadline), ASystemErrorCode,
                      ASystemErrorCode == 0
                          ? std::string()
                          : TrimSystemText(IdPlatform::SystemErrorMessage(ASystemErrorCode))) {}

EIdWS2StubError::EIdWS2StubError(std::string AHeadline, uint32_t ACode, std::string ASystemText)
    : EIdException(ACode == 0 ? AHeadline : AHeadline + ": " + ASystemText),
      FHeadline(std::move(AHeadline)), FSystemErrorCode(static_cast<int32_t>(ACode)),
      FSystemErrorText(std::move(ASystemText)) {}
