#include "installer/scripts.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/file_streams.h"
#include "base/process.h"
#include "installer/database.h"
#include "installer/install_errors.h"

namespace {

constexpr const char* script_preamble = "#!/bin/bash\n\n. /vesk/lib/install/profile.sh\n\n";

// The path in single quotes for "bash -c", so that no byte of a package
// name is taken for shell syntax.
byte_string shell_quoted(const byte_string& path) {
    byte_string quoted("'");
    for (std::size_t i = 0; i < path.length(); ++i) {
        if (path[i] == '\'') {
            quoted.append("'\\''");
        } else {
            quoted.append(1, path[i]);
        }
    }
    quoted.append("'");
    return quoted;
}

}  // namespace

bool store_script(repo& r, const installed_package& p, package_reader& reader, const char* script) {
    byte_string payload;
    if (!reader.read_payload(payload)) {
        report_broken(r, p);
        return false;
    }
    const byte_string path = database_entry(p.name) + script;
    file_out_stream out(path.text());
    out << script_preamble;
    out.write(payload.data(), static_cast<std::int64_t>(payload.length()));
    out.flush();
    if (out.failed() || chmod(path.text(), 0755) != 0) {
        report_disk_error(r, p, script);
        out.close();
        return false;
    }
    out.close();
    return true;
}

bool run_script(repo& r, const installed_package& p, const char* script) {
    const byte_string path = database_entry(p.name) + script;
    struct stat st;
    if (stat(path.text(), &st) != 0) return true;
    const byte_string command = shell_quoted(path) + " >/dev/null 2>&1";
    const char* const arguments[] = {"bash", "-c", command.text(), nullptr};
    program_start start;
    start.path = "/bin/bash";
    start.arguments = arguments;
    int null = -1;
    if (r.package_on_standard_input) {
        null = open("/dev/null", O_RDONLY | O_CLOEXEC);
        start.input = null < 0 ? closed_descriptor : null;
    }
    const pid_t child = start_program(start);
    if (null >= 0) close(null);
    const int status = child > 0 ? wait_child(child) : -1;
    if (status == 0) return true;
    r.messages.say_warning("package %s %s script failed", package_label(p).text(), script);
    return false;
}
