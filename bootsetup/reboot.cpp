#include "bootsetup/reboot.h"

#include <sys/reboot.h>
#include <unistd.h>

#include <cstdio>

#include "bootsetup/init_fork.h"
#include "bootsetup/terminal.h"

bool may_reboot() {
    return getpid() == 1 || (forked_by_init && getppid() == 1);
}

void reboot_machine() {
    if (!may_reboot()) {
        std::puts("not the init process: reboot skipped");
        std::fflush(stdout);
        _exit(0);
    }
    std::fflush(stdout);
    reboot(RB_AUTOBOOT);
}

int finish_and_reboot() {
    if (setup_console != nullptr) setup_console->restore_console();
    std::puts("\nRebooting...");
    std::fflush(stdout);
    reboot_machine();
    return 0;
}
