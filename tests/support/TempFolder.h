#pragma once
// A folder of the test's own in the system's temporary folder, removed with all it holds.
#include <filesystem>
#include <random>
#include <set>
#include <string>

class TTempFolder {
  public:
    // In ABase: a test that needs the folder's parent to be a given one (root's /tmp, with
    // its sticky bit) names it.
    explicit TTempFolder(
        const std::filesystem::path& ABase = std::filesystem::temp_directory_path()) {
        std::random_device Random;
        // A name no one else holds: create_directory says whether this call made it.
        do {
            FPath = ABase / ("vexlo-test-" + std::to_string(Random()));
        } while (!std::filesystem::create_directory(FPath));
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;
    ~TTempFolder() {
        std::error_code Ignored;
        std::filesystem::remove_all(FPath, Ignored);
    }

    const std::filesystem::path& Path() const { return FPath; }
    std::string operator/(const std::string& AName) const { return (FPath / AName).string(); }
    // What the folder holds: a temporary file left behind shows here.
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
