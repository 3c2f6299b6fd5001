#pragma once
// A file's bytes exactly as they are on disk, no line ends translated.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

inline void WriteBytes(const std::filesystem::path& APath, const std::string& ABytes) {
    std::ofstream(APath, std::ios::binary) << ABytes;
}

inline std::string ReadBytes(const std::filesystem::path& APath) {
    std::ifstream In(APath, std::ios::binary);
    return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}
