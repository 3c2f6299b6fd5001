// POSIX side of the system seam: the comparison in the user's locale, the kernel's record
// of the running file and the C library's error texts.
#include "system/System.h"

#include <cstring>
#include <cwchar>
#include <cwctype>
#include <string>
#include <unistd.h>

namespace {

std::wstring Widen(const std::string& AText, bool& AOk) {
    std::mbstate_t State{};
    const char* Src = AText.c_str();
    std::wstring Result;
    Result.reserve(AText.size());
    const char* End = Src + AText.size();
    while (Src < End) {
        wchar_t W;
        const size_t N = std::mbrtowc(&W, Src, static_cast<size_t>(End - Src), &State);
        if (N == static_cast<size_t>(-1) || N == static_cast<size_t>(-2)) {
            AOk = false;
            return {};
        }
        Result.push_back(N == 0 ? L'\0' : W);
        Src += N == 0 ? 1 : N;
    }
    return Result;
}

} // namespace

namespace System {

bool SameTextLocale(std::string_view A, std::string_view B) {
    const auto SameAsciiFolded = [](unsigned char CA, unsigned char CB) {
        const unsigned char Lower = CA | 0x20;
        return CA == CB || (Lower == (CB | 0x20) && Lower >= 'a' && Lower <= 'z');
    };
    // Byte for byte with only ASCII letters folded; unlike strncasecmp, a zero byte does
    // not end the comparison.
    const auto SameFoldingAscii = [&](std::string_view X, std::string_view Y) {
        if (X.size() != Y.size()) {
            return false;
        }
        for (size_t I = 0; I < X.size(); ++I) {
            if (!SameAsciiFolded(static_cast<unsigned char>(X[I]),
                                 static_cast<unsigned char>(Y[I]))) {
                return false;
            }
        }
        return true;
    };
    // ASCII folds the same in every locale but the Turkic ones (where "I" lowers to a
    // dotless i), and needs no wide copies: the host list's display-name lookup compares
    // the typed text with every entry of lists a million entries long. While both texts
    // are ASCII their characters are their bytes, so the first difference decides.
    const size_t Common = A.size() < B.size() ? A.size() : B.size();
    size_t Pos = 0;
    for (; Pos < Common; ++Pos) {
        const auto CA = static_cast<unsigned char>(A[Pos]);
        const auto CB = static_cast<unsigned char>(B[Pos]);
        if ((CA | CB) >= 0x80) {
            break; // the locale decides from here
        }
        if (!SameAsciiFolded(CA, CB)) {
            return false;
        }
    }
    if (Pos == Common) {
        const std::string_view Rest = A.size() > B.size() ? A.substr(Pos) : B.substr(Pos);
        unsigned char Any = 0;
        for (const char C : Rest) {
            Any |= static_cast<unsigned char>(C);
        }
        if (Any < 0x80) {
            return Rest.empty(); // the longer text goes on in ASCII: no locale makes that equal
        }
    }
    bool Ok = true;
    const std::wstring WA = Widen(std::string(A), Ok);
    const std::wstring WB = Widen(std::string(B), Ok);
    if (!Ok) {
        // Text that is not valid in the locale's encoding compares byte for byte, ASCII
        // letters folded.
        return SameFoldingAscii(A, B);
    }
    if (WA.size() != WB.size()) {
        return false;
    }
    for (size_t I = 0; I < WA.size(); ++I) {
        if (std::towlower(static_cast<wint_t>(WA[I])) !=
            std::towlower(static_cast<wint_t>(WB[I]))) {
            return false;
        }
    }
    return true;
}

std::string ExecutablePath() {
    // The kernel's own record of the running file, with its links resolved.
    std::string Path(256, '\0');
    for (;;) {
        const ssize_t N = ::readlink("/proc/self/exe", Path.data(), Path.size());
        if (N < 0) {
            return {};
        }
        if (static_cast<size_t>(N) < Path.size()) {
            Path.resize(static_cast<size_t>(N));
            return Path;
        }
        Path.resize(Path.size() * 2); // readlink cuts without saying so
    }
}

std::string ErrorMessage(uint32_t ACode) {
    char Buffer[256];
    // The GNU strerror_r returns its text, which may not be the buffer.
    return ::strerror_r(static_cast<int>(ACode), Buffer, sizeof Buffer);
}

} // namespace System
