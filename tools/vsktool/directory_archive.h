#pragma once

#include <sys/types.h>

#include <cstdint>
#include <utility>
#include <vector>

class out_stream;

struct tree_options {
    // Every entry owned by 0:0, whatever the files say.
    bool owner_root = false;
    // Every entry gets this modification time.
    bool fixed_time = false;
    std::uint32_t time = 0;
    // The package being written (and the one it replaces), which must not
    // be archived when it lies inside the tree.
    std::vector<std::pair<dev_t, ino_t>> skip;
};

// Writes one archive entry for everything below dir (not for dir itself),
// depth first, each directory's names in byte order, so a directory comes
// before what it holds and the same tree always gives the same bytes.
// File contents are streamed. False after reporting what went wrong.
[[nodiscard]] bool write_tree(const char* dir, out_stream& archive, const tree_options& options);
