#pragma once
// A folder of the test's own under the system's temporary folder, removed with everything in
// it when the test ends.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>

class TTempFolder {
  public:
    TTempFolder() {
        std::random_device Random;
        FPath = std::filesystem::temp_directory_path() /
                ("vexlo-hosts-" + std::to_string(Random()) + ".d");
        std::filesystem::create_directories(FPath);
    }
    ~TTempFolder() {
        std::error_code Ignored;
        std::filesystem::remove_all(FPath, Ignored);
    }
    std::string operator/(const std::string& AName) const { return (FPath / AName).string(); }
    const std::filesystem::path& Path() const { return FPath; }

    // What the folder holds, by name: a leftover temporary file shows here.
    std::set<std::string> Names() const {
        std::set<std::string> Result;
        for (const auto& Entry : std::filesystem::directory_iterator(FPath)) {
            Result.insert(Entry.path().filename().string());
        }
        return Result;
    }

  private:
    std::filesystem::path FPath;
};

inline void WriteBytes(const std::string& APath, const std::string& ABytes) {
    std::ofstream(APath, std::ios::binary) << ABytes;
}

inline std::string ReadBytes(const std::string& APath) {
    std::ifstream In(APath, std::ios::binary);
    return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}
