#pragma once

#include "base/byte_string.h"
#include "installer/repo.h"

// Deletes every file below directory that no installed package lists.
// Directories stay, empty or not; links are judged by their own path.
void collect_garbage(const repo& r, const byte_string& directory);
