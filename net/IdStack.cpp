#include "net/IdStack.h"

#include "net/IdAddressText.h"
#include "net/IdConvert.h"
#include "net/IdException.h"
#include "net/IdResourceStrings.h"
#include "system/System.h"

using namespace IdResourceStrings;

std::unique_ptr<TIdStack> SharedStack;
int32_t StackUserCount = 0;
std::mutex StackLock;

TIdStack::~TIdStack() = default;

std::unique_ptr<TIdStack> TIdStack::MakeStack() {
    return RegisteredStackClass();
}

std::string TIdStack::FormatErrorText(int32_t AErrorCode, const std::string& AText) {
    return FormatText(FormatText(RSSocketErrorFormat, AErrorCode).c_str(), AText);
}

std::string TIdStack::ErrorText(int32_t AErrorCode) {
    return FormatErrorText(AErrorCode, SocketErrorTableText(AErrorCode));
}

bool TIdStack::CheckResult(int AResult) {
    return CheckResult(AResult, {});
}

bool TIdStack::CheckResult(int AResult, std::initializer_list<int32_t> AIgnore) {
    if (AResult != Id_SOCKET_ERROR) {
        return false;
    }
    FLastCode = ApiLastError();
    for (const int32_t Code : AIgnore) {
        if (Code == FLastCode) {
            return true;
        }
    }
    RaiseError(FLastCode);
}

void TIdStack::RaiseError(int32_t AErrorCode) {
    throw EIdSocketError(AErrorCode, ErrorText(AErrorCode));
}

TIdStackSocketHandle TIdStack::NewSocket(int AStruct, int AProtocol) {
    return NewSocket(Id_PF_INET, AStruct, AProtocol);
}

TIdStackSocketHandle TIdStack::NewSocket(int AFamily, int AStruct, int AProtocol) {
    const TIdStackSocketHandle Result = ApiSocket(AFamily, AStruct, AProtocol);
    if (Result == Id_INVALID_SOCKET) {
        throw EIdInvalidSocket();
    }
    return Result;
}

std::string TIdStack::HostToAddress(const std::string& AHost) {
    if (System::SameTextLocale(AHost, "LOCALHOST")) {
        return "127.0.0.1";
    }
    if (IsDottedQuad(AHost)) {
        return AHost;
    }
    return ApiGetHostByName(AHost);
}

namespace {
bool IsOctetText(const std::string& APart) {
    int32_t Value;
    return TryStrToInt(APart, Value) && Value >= 0 && Value <= 255;
}
} // namespace

bool TIdStack::IsDottedQuad(const std::string& AText) {
    const TDottedPieces Pieces = SplitDotted(AText);
    for (const auto& Part : Pieces.Part) {
        if (!IsOctetText(Part)) {
            return false;
        }
    }
    return true;
}

TIdInAddr TIdStack::HostToInAddr(const std::string& AHost) {
    {
        const std::lock_guard Guard(FLastHostLock);
        if (!FLastHostText.empty() && AHost == FLastHostText) {
            return FLastHostAddress;
        }
    }
    TIdInAddr Address;
    if (System::SameTextLocale(AHost, "LOCALHOST")) {
        Address = TIdInAddr{{127, 0, 0, 1}};
    } else if (IsDottedQuad(AHost)) {
        Address = TextToInAddr(AHost);
    } else {
        return ApiGetHostAddress(AHost);
    }
    const std::lock_guard Guard(FLastHostLock);
    FLastHostText = AHost;
    FLastHostAddress = Address;
    return Address;
}

TIdInAddr TIdStack::TextToInAddr(const std::string& AText) {
    TIdInAddr Result{};
    ParseInAddr(AText, Result);
    return Result;
}
