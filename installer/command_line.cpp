#include "installer/command_line.h"

#include <cstring>

#include "base/standard_streams.h"
#include "installer/run_flags.h"
#include "project_version.h"

namespace {

bool same(const char* a, const char* b) {
    return std::strcmp(a, b) == 0;
}

bool is_package_path(const char* argument) {
    const std::size_t length = std::strlen(argument);
    return length >= 4 && same(argument + length - 4, ".vsk");
}

}  // namespace

void write_usage() {
    console_out << "usage: installer [-q] [--filegc] [-r <root>] [-]";
    console_out.end_line();
}

void write_version() {
    console_out << "installer " << project_version;
    console_out.end_line();
}

command_line parse_command_line(int argc, const char* const* argv) {
    command_line result;
    // Only as the first argument: anywhere else it stays an unknown
    // argument that asks for the usage line.
    if (argc >= 2 && same(argv[1], "--version")) {
        result.version = true;
        return result;
    }
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (same(argument, "--filegc")) {
            result.garbage_collection = true;
            for (++i; i < argc; ++i) result.directories.push_back(byte_string(argv[i]));
            break;
        }
        if (same(argument, "-r") && i + 1 < argc) {
            result.root = argv[++i];
            result.has_root = true;
        } else if (same(argument, "-")) {
            result.from_standard_input = true;
            break;
        } else if (same(argument, "-q")) {
            result.quiet = true;
        } else if (same(argument, "-down")) {
            result.flags |= allow_downgrade;
        } else if (same(argument, "--recover")) {
            console_out << "\x1b[?25l\r\x1b[Ainstalling";
            console_out.flush();
            result.flags |= allow_same;
        } else if (same(argument, "-b") || same(argument, "--force") || same(argument, "-i")) {
            // Accepted for the callers that still pass them.
        } else if (is_package_path(argument) && !result.has_package_path) {
            result.package_path = argument;
            result.has_package_path = true;
        } else {
            result.usage = true;
            break;
        }
    }
    return result;
}
