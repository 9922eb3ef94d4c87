#include "bootsetup/init_fork.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

bool forked_by_init = false;

namespace {

int wait_for_worker(pid_t worker) {
    int status = 0;
    for (;;) {
        if (waitpid(worker, &status, 0) == worker) return status;
        if (errno != EINTR) return -1;
    }
}

}  // namespace

bool split_off_worker(const char* program_name, int& parent_result) {
    if (program_name == nullptr || std::strstr(program_name, "init") == nullptr) return true;
    const bool parent_is_init = getpid() == 1;
    const pid_t worker = fork();
    if (worker > 0) {
        parent_result = wait_for_worker(worker);
        return false;
    }
    if (worker == 0) forked_by_init = parent_is_init;
    return true;
}
