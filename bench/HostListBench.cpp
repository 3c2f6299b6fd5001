// The host list at a million entries, each figure beside a floor written here and measured
// in the same run: load against reading the file and splitting it at line ends; save
// against one write of the same bytes and a flush to disk; a missed display-name lookup
// against a plain ASCII case-insensitive scan of the same lines; the memory the loaded list
// holds against the file's size. Printed, not asserted.
// Usage: bench_hostlist [entries, default 1000000] [folder, default the system's temp]
#include "hosts/HostList.h"
#include "hosts/HostListFile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <malloc.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

template <class F> double BestMs(int ARuns, F&& AWork) {
    double Best = 1e300;
    for (int I = 0; I < ARuns; ++I) {
        const auto Start = std::chrono::steady_clock::now();
        AWork();
        const std::chrono::duration<double, std::milli> Took =
            std::chrono::steady_clock::now() - Start;
        Best = std::min(Best, Took.count());
    }
    return Best;
}

// Keeps a result alive so the compiler cannot drop the work that made it.
template <class T> void Keep(const T& AValue) {
    asm volatile("" : : "g"(&AValue) : "memory");
}

std::size_t HeapInUse() {
    const struct mallinfo2 Info = ::mallinfo2();
    return Info.uordblks + Info.hblkhd; // small blocks and mmap'd large ones
}

// Entries like a real list's: a dotted quad, "=", a name of eleven characters.
std::string Generate(std::size_t AEntries) {
    std::string Bytes;
    Bytes.reserve(AEntries * 28);
    char Line[64];
    for (std::size_t I = 0; I < AEntries; ++I) {
        const int N = std::snprintf(Line, sizeof Line, "10.%zu.%zu.%zu=host%07zu\r\n",
                                    I >> 16 & 255, I >> 8 & 255, I & 255, I);
        Bytes.append(Line, static_cast<std::size_t>(N));
    }
    return Bytes;
}

std::string ReadAll(const std::string& APath) {
    const int Fd = ::open(APath.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat St {};
    ::fstat(Fd, &St);
    std::string Bytes(static_cast<std::size_t>(St.st_size), '\0');
    std::size_t Used = 0;
    while (Used < Bytes.size()) {
        const ssize_t N = ::read(Fd, Bytes.data() + Used, Bytes.size() - Used);
        if (N <= 0) {
            break;
        }
        Used += static_cast<std::size_t>(N);
    }
    ::close(Fd);
    Bytes.resize(Used);
    return Bytes;
}

// The fastest plain split of this file (CR LF throughout): memchr for LF, CR dropped.
std::vector<std::string_view> SplitLines(const std::string& ABytes) {
    std::vector<std::string_view> Lines;
    const char* Pos = ABytes.data();
    const char* const End = Pos + ABytes.size();
    while (Pos < End) {
        const auto* Lf = static_cast<const char*>(std::memchr(Pos, '\n', End - Pos));
        const char* LineEnd = Lf == nullptr ? End : Lf;
        Lines.emplace_back(Pos, LineEnd - Pos - (LineEnd > Pos && LineEnd[-1] == '\r'));
        Pos = LineEnd + 1;
    }
    return Lines;
}

bool SameAsciiIgnoringCase(std::string_view A, std::string_view B) {
    if (A.size() != B.size()) {
        return false;
    }
    for (std::size_t I = 0; I < A.size(); ++I) {
        const auto CA = static_cast<unsigned char>(A[I]);
        const auto CB = static_cast<unsigned char>(B[I]);
        if (CA != CB && (CA | 0x20) != (CB | 0x20)) {
            return false;
        }
    }
    return true;
}

const std::string_view* ScanFloor(const std::vector<std::string_view>& ALines,
                                  std::string_view AText) {
    for (const auto& Line : ALines) {
        const std::size_t Eq = Line.find('=');
        if (Eq != std::string_view::npos && SameAsciiIgnoringCase(Line.substr(Eq + 1), AText)) {
            return &Line;
        }
    }
    return nullptr;
}

void WriteOnceAndFlush(const std::string& APath, const std::string& ABytes) {
    const int Fd = ::open(APath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (::write(Fd, ABytes.data(), ABytes.size()) != static_cast<ssize_t>(ABytes.size()) ||
        ::fsync(Fd) != 0) {
        std::perror("floor write");
    }
    ::close(Fd);
}

void Row(const char* AName, double AOurs, double AFloor, const char* AUnit, double ATarget) {
    std::printf("%-30s %10.1f %-3s %10.1f %-3s %7.2f   <= %.0f%s\n", AName, AOurs, AUnit, AFloor,
                AUnit, AOurs / AFloor, ATarget, AOurs / AFloor <= ATarget ? "" : "   MISSED");
}

} // namespace

int main(int argc, char** argv) {
    const std::size_t Entries = argc > 1 ? std::stoul(argv[1]) : 1000000;
    const std::filesystem::path Folder =
        (argc > 2 ? std::filesystem::path(argv[2]) : std::filesystem::temp_directory_path()) /
        ("vexlo-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(Folder);
    const std::string Path = (Folder / "vexlo.txt").string();
    const std::string FloorPath = (Folder / "floor.txt").string();
    const std::string Bytes = Generate(Entries);
    WriteOnceAndFlush(Path, Bytes);
    constexpr int Runs = 5;

    std::string FloorBytes;
    std::vector<std::string_view> FloorLines;
    const double LoadFloor = BestMs(Runs, [&] {
        FloorBytes = ReadAll(Path);
        FloorLines = SplitLines(FloorBytes);
    });
    THostList List;
    const double Load = BestMs(Runs, [&] {
        THostList Fresh;
        THostListFile(Path).Load(Fresh);
        List = std::move(Fresh);
    });
    List.Clear();
    const std::size_t HeapBefore = HeapInUse();
    THostListFile(Path).Load(List);
    const std::size_t Held = HeapInUse() - HeapBefore;

    // Same length as every name, so each comparison runs into the text.
    const std::string_view Missing = "HOSTZZZZZZZ";
    const double LookupFloor = BestMs(Runs, [&] { Keep(ScanFloor(FloorLines, Missing)); });
    const double Lookup = BestMs(Runs, [&] { Keep(List.LookupDisplayName(Missing)); });
    const std::string_view Found = "HOST0999999";
    const bool Works = !List.LookupDisplayName(Missing) &&
                       ScanFloor(FloorLines, Missing) == nullptr &&
                       List.LookupDisplayName(Found).has_value() == (Entries == 1000000);

    double SaveFloor = 1e300;
    double Save = 1e300;
    for (int I = 0; I < Runs; ++I) { // taken in turns, so both meet the disk in the same state
        SaveFloor = std::min(SaveFloor, BestMs(1, [&] { WriteOnceAndFlush(FloorPath, Bytes); }));
        Save = std::min(Save, BestMs(1, [&] { THostListFile(Path).Save(List); }));
    }
    bool SavedSame = ReadAll(Path) == Bytes;

    // The same list read from a file with LF line ends: no run of the file's bytes can go out
    // as it is, so every line is copied into the write buffer with its CR LF.
    std::string LfBytes;
    for (const auto& Line : FloorLines) {
        LfBytes.append(Line).push_back('\n');
    }
    const std::string LfPath = (Folder / "lf.txt").string();
    WriteOnceAndFlush(LfPath, LfBytes);
    THostList LfList;
    THostListFile(LfPath).Load(LfList);
    double LineSave = 1e300;
    for (int I = 0; I < Runs; ++I) {
        SaveFloor = std::min(SaveFloor, BestMs(1, [&] { WriteOnceAndFlush(FloorPath, Bytes); }));
        LineSave = std::min(LineSave, BestMs(1, [&] { THostListFile(LfPath).Save(LfList); }));
    }
    SavedSame = SavedSame && ReadAll(LfPath) == Bytes;

    std::printf("host list: %zu entries, %.1f MB, in %s (best of %d)\n", Entries,
                Bytes.size() / 1e6, Folder.c_str(), Runs);
    std::printf("%-30s %14s %14s %7s   %s\n", "", "host list", "floor", "ratio", "target");
    Row("load", Load, LoadFloor, "ms", 3);
    Row("save (with fsync)", Save, SaveFloor, "ms", 2);
    Row("save, read from an LF file", LineSave, SaveFloor, "ms", 2);
    Row("missed lookup", Lookup, LookupFloor, "ms", 4);
    Row("memory held vs file size", Held / 1e6, Bytes.size() / 1e6, "MB", 4);
    std::printf("checks: lookups %s, saved files %s\n", Works ? "right" : "WRONG",
                SavedSame ? "identical" : "DIFFERENT");
    std::filesystem::remove_all(Folder);
    return Works && SavedSame ? 0 : 1;
}
