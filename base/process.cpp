#include "base/process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

char program_prefix[256];

// The child's side of a standard descriptor; errors are beyond reporting
// here and show as a program without that stream.
void arrange_descriptor(int given, int target) {
    if (given == keep_descriptor) return;
    if (given == closed_descriptor) {
        close(target);
        return;
    }
    if (given == target) {
        // dup2 onto itself would leave a close-on-exec flag standing.
        (void)fcntl(target, F_SETFD, 0);
        return;
    }
    (void)dup2(given, target);
}

void close_above_standard() {
    if (close_range(3, ~0U, 0) == 0) return;
    const long highest = sysconf(_SC_OPEN_MAX);
    for (long fd = 3; fd < highest && fd < 65536; ++fd) close(static_cast<int>(fd));
}

[[noreturn]] void run_child(const program_start& start, const char* exec_path) {
    arrange_descriptor(start.input, 0);
    arrange_descriptor(start.output, 1);
    arrange_descriptor(start.errors, 2);
    if (start.close_others) close_above_standard();
    if (start.root != nullptr && chroot(start.root) != 0) _exit(127);
    execv(exec_path, const_cast<char* const*>(start.arguments));
    _exit(127);
}

}  // namespace

void set_program_prefix(const char* prefix) {
    std::snprintf(program_prefix, sizeof program_prefix, "%s", prefix);
}

pid_t start_program(const program_start& start) {
    // Built before fork, so that the child only rearranges and executes.
    char exec_path[512];
    const int length =
        std::snprintf(exec_path, sizeof exec_path, "%s%s", program_prefix, start.path);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof exec_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    const pid_t child = fork();
    if (child == 0) run_child(start, exec_path);
    return child;
}

int wait_child(pid_t child) {
    int status = 0;
    for (;;) {
        if (waitpid(child, &status, 0) == child) return status;
        if (errno != EINTR) return -1;
    }
}
