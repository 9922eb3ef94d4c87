#include "bootsetup/signal_handlers.h"

#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

#include "bootsetup/prompts.h"
#include "bootsetup/reboot.h"
#include "bootsetup/setup_context.h"
#include "bootsetup/terminal.h"

void abort_handler(int) {
    if (setup_finished == 1) return;
    std::puts("\n\nInstallation aborted");
    std::puts("Press ENTER to reboot");
    umount("/mnt/boot");
    umount("/mnt");
    umount("/floppy");
    wait_for_key('\n');
    if (setup_console != nullptr) setup_console->restore_console();
    reboot_machine();
    // The restart failed; going back into a flow the user has aborted would
    // be worse than ending here.
    _exit(0);
}

// WNOHANG: when a runner has already collected the child that raised the
// signal, a blocking wait would hang here until some other child ends.
void child_reaper(int) {
    const int saved_errno = errno;
    waitpid(-1, nullptr, WNOHANG);
    errno = saved_errno;
}

void install_signal_handlers() {
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = abort_handler;
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    action.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &action, nullptr);
    action.sa_handler = child_reaper;
    action.sa_flags = SA_RESTART;
    sigaction(SIGCHLD, &action, nullptr);
}
