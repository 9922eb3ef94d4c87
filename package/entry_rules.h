#pragma once

#include <cstdint>

#include "base/byte_string.h"
#include "package/archive_entry.h"

// What an installer accepts of an archive entry. The installer refuses a
// package as broken on the first entry that breaks one of these rules, and
// the package builder's verification applies the same ones.

// No system stores a longer link target.
constexpr std::uint32_t longest_link_target = 4095;

// The one spelling of the path an entry name stands for: "/" followed by
// the components joined by single slashes, with empty and "." components
// dropped ("/opt//x/./f" and "opt/x/f" both give "/opt/x/f"). False, path
// unchanged, for a name holding a NUL byte or a line break (which would
// plant lines in the database's file lists) or a ".." component.
[[nodiscard]] bool entry_path(const byte_string& name, byte_string& path);

// Why the entry makes its package broken, or null when it is acceptable.
// Besides the name rules above: a path below "/proc/".
// Looks at the header and the name; the data is the reader's to check.
[[nodiscard]] const char* entry_problem(const archive_entry& entry);

// Why an installer would warn about an acceptable entry, or null: set-ID
// bits, writable by everyone without the sticky bit, a device node.
[[nodiscard]] const char* entry_warning(const archive_entry& entry);
