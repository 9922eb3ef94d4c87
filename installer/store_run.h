#pragma once

#include <cstdint>

#include "installer/repo.h"

// Installs every package waiting in "/var/pckg/" (and, in recovery, in
// "/ram/"): one version per package, in dependency order, the smaller files
// copied into "/ram/" first. Installed files are deleted, failed ones put
// back. When no package at all is installed afterwards it never returns.
void store_run(repo& r, std::uint32_t flags);

[[nodiscard]] bool copy_file(const char* source, const char* target);
[[nodiscard]] bool move_file(const char* source, const char* target);
