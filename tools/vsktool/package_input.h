#pragma once

#include <cstdint>
#include <memory>

#include "base/file_streams.h"
#include "package/package_reader.h"

// A package file opened for reading, with a reader that stops at every part
// (the tools look at all of them, not only at those an installer wants).
class package_input {
public:
    explicit package_input(const char* path) : path_(path) {}

    // Opens the file and reads its header; false after reporting why not.
    [[nodiscard]] bool open();

    [[nodiscard]] const char* path() const { return path_; }
    [[nodiscard]] package_reader& reader() { return *reader_; }
    // The size of the file on disk, when it is a regular file.
    [[nodiscard]] bool size_known() const { return size_known_; }
    [[nodiscard]] std::uint64_t real_size() const { return real_size_; }
    // Length field of the file header + 8, as a 64-bit number so that a
    // hostile length cannot wrap around.
    [[nodiscard]] std::uint64_t declared_size() const;

private:
    const char* path_;
    bool size_known_ = false;
    std::uint64_t real_size_ = 0;
    std::unique_ptr<file_in_stream> file_;
    std::unique_ptr<package_reader> reader_;
};
