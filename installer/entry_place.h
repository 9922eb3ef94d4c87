#pragma once

#include "base/byte_string.h"

// The place of one archive entry: its parent directory, opened without
// passing through a /proc magic link (which would lead out of the root, to
// another process's tree), and its last component. Every entry is created
// and changed relative to that directory.
class entry_place {
public:
    // path is absolute and normalised ("/a/b", or "/" itself).
    explicit entry_place(const byte_string& path);
    ~entry_place();
    entry_place(const entry_place&) = delete;
    entry_place& operator=(const entry_place&) = delete;

    // False when the parent could not be opened; errno says why (ELOOP for
    // a magic link on the way).
    [[nodiscard]] bool is_open() const { return directory_ >= 0; }
    [[nodiscard]] int directory() const { return directory_; }
    // The last component; empty for "/" itself.
    [[nodiscard]] const char* leaf() const { return leaf_.text(); }
    [[nodiscard]] bool is_root() const { return leaf_.empty(); }

    // A new regular file for writing (create or truncate), opened as the
    // parent was: the descriptor, or -1.
    [[nodiscard]] int create_file() const;

private:
    int directory_ = -1;
    byte_string leaf_;
};
