#pragma once

#include <cstdint>
#include <string>

#include "package/archive_entry.h"

class package_reader;

// Called for each whole entry of a file archive, with the first bytes of its
// data when the entry is a link or a device (the target or the number);
// returns false after reporting, which ends the walk.
class entry_visitor {
public:
    virtual ~entry_visitor() = default;
    virtual bool entry(const archive_entry& entry, const std::string& head) = 0;
    // Something odd that installers read past without refusing the package.
    virtual void oddity(const std::string&) {}
};

// Inflates the files part the reader stands on and hands every entry to
// the visitor. An entry cut short, a corrupt compressed stream, or a stream
// that stops before its proper end is a failure, reported with the part's
// offset and the entry concerned; bytes after the end of the stream, which
// installers pass over, are an oddity. False after reporting.
[[nodiscard]] bool walk_archive(package_reader& reader, const char* path, std::uint32_t part_offset,
                                entry_visitor& visitor);
