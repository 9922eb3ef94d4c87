#pragma once

#include <cstdint>

#include "base/array.h"
#include "base/byte_string.h"

// What the arguments ask a run to do.
struct command_line {
    bool usage = false;
    // "--version" as the whole first argument.
    bool version = false;
    bool garbage_collection = false;
    bool from_standard_input = false;
    bool quiet = false;
    std::uint32_t flags = 0;
    byte_string root;
    byte_string package_path;
    bool has_package_path = false;
    // The directories to clean in garbage-collection mode.
    array<byte_string> directories;
};

// Parses the arguments after the program name. "--recover" announces
// itself on the console at once, as it is seen.
[[nodiscard]] command_line parse_command_line(int argc, const char* const* argv);

void write_usage();
void write_version();
