#pragma once

// Whole-file reading and writing for tests and their helper programs. Kept
// in the header so that programs outside test_support (the sandbox demo) can
// use it as well.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace test_files {

// The bytes of a file; "" when it cannot be read.
inline std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Replaces a file with the bytes; false when they could not all be written.
inline bool spill(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return out.good();
}

}  // namespace test_files
