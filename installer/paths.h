#pragma once

#include "base/byte_string.h"

// The directory part of a path, as dirname gives it for the paths the
// installer handles (absolute, no trailing slash).
[[nodiscard]] byte_string parent_of(const byte_string& path);

// Creates directory and its missing ancestors, top down, mode 0770. A
// failure other than an existing directory ends the creation quietly.
void make_directories(const byte_string& directory);

// Removes directory, then each ancestor, until one is not empty (or "/").
void remove_empty_directories(byte_string directory);
