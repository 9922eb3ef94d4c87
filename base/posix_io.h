#pragma once

#include <sys/types.h>

#include <cstddef>

#include "base/byte_string.h"

// Reads until size bytes are in or the file ends, going on after signals.
// Returns the count read (less than size only at the end of the file), or -1
// with errno set.
[[nodiscard]] ssize_t read_all(int file, void* buffer, std::size_t size);

// Writes every byte, going on after signals and short writes. False with
// errno set when the file refused a byte.
[[nodiscard]] bool write_all(int file, const void* bytes, std::size_t size);

// A file that replaces path only once it is whole: it is written under the
// name "<path>.partial" in the same directory, and renamed over path on
// commit, so that path shows either its old contents or all of the new ones,
// never a part. Destroying it without a commit discards the partial file.
class replacement_file {
public:
    explicit replacement_file(const char* path);
    ~replacement_file();
    replacement_file(const replacement_file&) = delete;
    replacement_file& operator=(const replacement_file&) = delete;

    // Creates the partial file empty, with mode for a new file; the bytes
    // then go to descriptor(). False with errno set. A stream that closes
    // its descriptor itself writes through a duplicate
    // (file_out_stream out(dup(file.descriptor()))) and is closed before
    // the commit, which then still flushes the file to the disk.
    [[nodiscard]] bool create(mode_t mode);
    [[nodiscard]] int descriptor() const { return file_; }
    [[nodiscard]] const char* partial_path() const { return partial_.text(); }

    // Flushes the written bytes to the disk, closes the partial file and
    // renames it over path. A writer that opened partial_path() by itself
    // instead of calling create() closes it first; the commit then only
    // renames. On failure the partial file is removed and errno tells why.
    [[nodiscard]] bool commit();
    // Closes and removes the partial file; path keeps what it had.
    void discard();

private:
    byte_string path_;
    byte_string partial_;
    int file_ = -1;
    bool settled_ = false;
};

// Replaces path by a file holding exactly bytes, through a replacement_file.
// False with errno set; path is then untouched.
[[nodiscard]] bool write_file_whole(const char* path, const byte_string& bytes, mode_t mode);
