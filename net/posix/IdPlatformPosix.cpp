// POSIX side of the platform seam besides the sockets: the library loader that hands the
// binding the C library adapters, the clock, the process id, the executable's path and the
// locale-aware comparison.
#include "net/IdPlatform.h"
#include "net/IdResourceStrings.h"
#include "net/posix/PosixSockets.h"

#include <clocale>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <cwctype>
#include <string>
#include <strings.h>
#include <unistd.h>

namespace {

thread_local uint32_t LastLoaderError = 0;

// The one "module" there is: a library that no loader frees.
char SocketsModule;

IdPlatform::TModule PosixLoad(const char* AName) {
    // Library names are case-insensitive, as on Windows.
    if (::strcasecmp(AName, IdResourceStrings::RSWS2LibraryName) == 0) {
        return &SocketsModule;
    }
    LastLoaderError = IdPosix::ErrorModNotFound;
    return nullptr;
}

IdPlatform::TEntry PosixFindEntry(IdPlatform::TModule, const char* AName) {
    const IdPlatform::TEntry Entry = IdPosix::FindSocketAdapter(AName);
    if (Entry == nullptr) {
        LastLoaderError = IdPosix::ErrorProcNotFound;
    }
    return Entry;
}
void PosixFree(IdPlatform::TModule) {}
uint32_t PosixLastError() {
    return LastLoaderError;
}

const IdPlatform::TLibraryLoader PosixLoader{&PosixLoad, &PosixFindEntry, &PosixFree,
                                             &PosixLastError};

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

namespace IdPlatform {

const TLibraryLoader& SystemLibraryLoader() {
    return PosixLoader;
}

uint32_t TickCount() {
    timespec Now{};
    ::clock_gettime(CLOCK_MONOTONIC, &Now);
    const uint64_t Ms =
        static_cast<uint64_t>(Now.tv_sec) * 1000u + static_cast<uint64_t>(Now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(Ms);
}

uint32_t CurrentProcessId() {
    return static_cast<uint32_t>(::getpid());
}

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

} // namespace IdPlatform
