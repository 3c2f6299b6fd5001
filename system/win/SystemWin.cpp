// Windows side of the system seam: the comparison, the executable's path and the messages
// all come from the system itself.
#include "system/System.h"

#include "system/win/WindowsApi.h"

#include <climits>
#include <cstddef>
#include <memory>

namespace {

constexpr size_t MaxMessageLength = 256;

struct TLocalFree {
    void operator()(char* AText) const { ::LocalFree(AText); }
};

// Cuts a message to the length limit without splitting a double-byte character of the
// ANSI code page.
size_t CutLength(const char* AText, size_t ALength) {
    if (ALength <= MaxMessageLength) {
        return ALength;
    }
    size_t Pos = 0;
    while (Pos < MaxMessageLength) {
        const size_t Step =
            ::IsDBCSLeadByte(static_cast<BYTE>(AText[Pos])) && Pos + 1 < ALength ? 2 : 1;
        if (Pos + Step > MaxMessageLength) {
            break;
        }
        Pos += Step;
    }
    return Pos;
}

} // namespace

namespace System {

bool SameTextLocale(std::string_view A, std::string_view B) {
    // Printable ASCII is compared here, letters folded, as CompareStringA compares it in the
    // user's locale, without a system call per text: the host list's display-name lookup
    // compares the typed text with every entry of lists a million entries long. Control
    // characters go to the system, which ignores some of them.
    const auto IsPrintableAscii = [](std::string_view X) {
        for (const char C : X) {
            if (C < 0x20 || C > 0x7E) {
                return false;
            }
        }
        return true;
    };
    if (IsPrintableAscii(A) && IsPrintableAscii(B)) {
        if (A.size() != B.size()) {
            return false;
        }
        for (size_t I = 0; I < A.size(); ++I) {
            const char CA = static_cast<char>(A[I] | 0x20);
            if (A[I] != B[I] && (CA != static_cast<char>(B[I] | 0x20) || CA < 'a' || CA > 'z')) {
                return false;
            }
        }
        return true;
    }
    if (A.size() > static_cast<size_t>(INT_MAX) || B.size() > static_cast<size_t>(INT_MAX)) {
        // Beyond what the system compares in one call; no host name is ever this long.
        return A == B;
    }
    // Explicit lengths: an embedded zero byte must not end the comparison early.
    return ::CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, A.data(),
                            static_cast<int>(A.size()), B.data(),
                            static_cast<int>(B.size())) == CSTR_EQUAL;
}

std::string ExecutablePath() {
    std::string Path(MAX_PATH, '\0');
    for (;;) {
        const DWORD N = ::GetModuleFileNameA(nullptr, Path.data(), static_cast<DWORD>(Path.size()));
        if (N == 0) {
            return {};
        }
        if (N < Path.size()) {
            Path.resize(N);
            return Path;
        }
        Path.resize(Path.size() * 2); // a full buffer means the path was cut
    }
}

std::string ErrorMessage(uint32_t ACode) {
    // The system allocates the text, so a message longer than the limit is shortened
    // rather than lost, as a fixed buffer would lose it (FormatMessageA fails outright).
    char* Raw = nullptr;
    const DWORD Length = ::FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
        nullptr, ACode, 0, reinterpret_cast<LPSTR>(&Raw), 0, nullptr);
    const std::unique_ptr<char, TLocalFree> Owner(Raw);
    if (Length == 0 || Raw == nullptr) {
        return {};
    }
    return std::string(Raw, CutLength(Raw, Length));
}

} // namespace System
