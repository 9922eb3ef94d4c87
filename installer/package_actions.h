#pragma once

#include "base/byte_string.h"
#include "installer/repo.h"
#include "package/package_record.h"

// "/x/" + name: where a disabled package's files live, below their usual paths.
[[nodiscard]] byte_string disabled_prefix(const installed_package& p);

// Runs the onuninstall script, removes the files and the database entry.
// The record stays the caller's.
void uninstall(repo& r, installed_package& p);
// Moves the files below "/x/<name>" after the onuninstall script ran.
void disable(repo& r, installed_package& p);
// Moves the files back, then runs the oninstall script.
void enable(repo& r, installed_package& p);

enum class move_mode { add, strip };
// Moves every file of p by hard link to its path with the prefix added or
// stripped; a file that cannot be linked stays and keeps its path.
void move_files(repo& r, installed_package& p, const byte_string& prefix, move_mode mode);
