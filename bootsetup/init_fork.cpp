#include "bootsetup/init_fork.h"

#include <unistd.h>

#include <cstring>

#include "base/process.h"

bool forked_by_init = false;

bool split_off_worker(const char* program_name, int& parent_result) {
    if (program_name == nullptr || std::strstr(program_name, "init") == nullptr) return true;
    const bool parent_is_init = getpid() == 1;
    const pid_t worker = fork();
    if (worker > 0) {
        parent_result = wait_child(worker);
        return false;
    }
    if (worker == 0) forked_by_init = parent_is_init;
    return true;
}
