#include "hosts/HostListErrors.h"

namespace {
// The system's texts end in a full stop and, on Windows, a line end; the message puts its
// own full stop after the whole (the error box's rule).
std::string Trimmed(std::string AText) {
    while (!AText.empty() && (AText.back() == ' ' || AText.back() == '\r' || AText.back() == '\n' ||
                              AText.back() == '.')) {
        AText.pop_back();
    }
    return AText;
}
} // namespace

EFOpenError::EFOpenError(const std::string& APath, const std::string& ASystemText)
    : EHostListError("Cannot open file \"" + APath + "\". " + Trimmed(ASystemText)) {}

EFCreateError::EFCreateError(const std::string& APath, const std::string& ASystemText)
    : EHostListError("Cannot create file \"" + APath + "\". " + Trimmed(ASystemText)) {}

EWriteError::EWriteError() : EHostListError("Stream write error") {}

EKeyError::EKeyError() : EHostListError("Key may not contain equals sign (\"=\")") {}
