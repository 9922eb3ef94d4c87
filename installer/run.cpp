#include "installer/run.h"

#include <unistd.h>

#include <cstdio>

#include "base/file_streams.h"
#include "base/standard_streams.h"
#include "installer/command_line.h"
#include "installer/database.h"
#include "installer/garbage_collection.h"
#include "installer/install.h"
#include "installer/repo.h"
#include "installer/run_flags.h"
#include "installer/scheduled_actions.h"
#include "installer/store_run.h"
#include "installer/used_files.h"

namespace {

int install_requested(repo& r, const command_line& line) {
    const std::uint32_t flags = line.flags | allow_upgrade;
    const previous_state_map no_previous_state;
    if (line.from_standard_input) return install_stream(r, console_in, flags, no_previous_state);
    if (!line.has_package_path) {
        store_run(r, flags);
        return 0;
    }
    file_in_stream in(line.package_path.text());
    if (!in.is_open()) return 1;
    const int status = install_stream(r, in, flags, no_previous_state);
    in.close();
    return status;
}

}  // namespace

int run_installer(int argc, const char* const* argv) {
    repo r(console_out);
    const command_line line = parse_command_line(argc, argv);
    if (line.version) {
        write_version();
        return 0;
    }
    if (line.usage) {
        write_usage();
        return 0;
    }
    // Going on in the wrong root would install into the running system.
    if (!line.root.empty() && chroot(line.root.text()) != 0) {
        std::perror("chroot");
        return 1;
    }
    if (chdir("/") != 0) {
        std::perror("chdir");
        return 1;
    }
    load_database(r, line.quiet);
    if (line.garbage_collection) {
        for (const byte_string& directory : line.directories) collect_garbage(r, directory);
        return 0;
    }
    scan_processes(r);
    carry_out(r, report_changes);
    const int status = install_requested(r, line);
    r.messages.save_log();
    return status;
}
