#pragma once
// A folder of the test's own in the system's temporary folder, removed with all it holds.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>

struct TTempFolder {
    std::filesystem::path Path = std::filesystem::temp_directory_path() /
                                 ("vexlo-hosts-" + std::to_string(std::random_device()()));
    TTempFolder() { std::filesystem::create_directories(Path); }
    ~TTempFolder() {
        std::error_code Ignored;
        std::filesystem::remove_all(Path, Ignored);
    }
    std::string operator/(const std::string& AName) const { return (Path / AName).string(); }
    // What the folder holds: a temporary file left behind shows here.
    std::set<std::string> Names() const {
        std::set<std::string> Result;
        for (const auto& Entry : std::filesystem::directory_iterator(Path)) {
            Result.insert(Entry.path().filename().string());
        }
        return Result;
    }
};

inline void WriteBytes(const std::string& APath, const std::string& ABytes) {
    std::ofstream(APath, std::ios::binary) << ABytes;
}

inline std::string ReadBytes(const std::string& APath) {
    std::ifstream In(APath, std::ios::binary);
    return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}
