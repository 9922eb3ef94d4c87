#pragma once

#include "base/byte_string.h"
#include "base/tree.h"
#include "package/archive_entry.h"

// The symbolic links a package creates, in archive order, so that a later
// entry's path can be followed through them the way the file system will
// follow it on the router: an entry whose own name looks harmless may land
// below /proc through a link made a few entries earlier. Lexical only; the
// file system is never consulted, so links already on the router are not
// known here.
class archive_links {
public:
    // Where the entry at path (spelled as entry_path gives it) lands: every
    // component but the last followed through the links recorded so far.
    // The last one is never followed, as the installer replaces what is
    // there.
    [[nodiscard]] byte_string landing(const byte_string& path) const;

    // Remembers what an entry makes at its landing place: a link to target,
    // or (any other type) something that is no link.
    void record(const byte_string& landing, const archive_entry& entry, const byte_string& target);

private:
    tree_map<byte_string, byte_string> links_;
};

// Why an entry that passes entry_problem is refused once the links made
// before it are followed, or null. The entry is recorded in links either
// way; target is a link entry's data (ignored for other types).
[[nodiscard]] const char* linked_entry_problem(archive_links& links, const archive_entry& entry,
                                               const byte_string& target);
