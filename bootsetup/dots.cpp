#include "bootsetup/dots.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>

namespace {

void arm_dot_alarm();

// Runs between any two instructions of the main flow, so it writes straight
// to the descriptor instead of through stdio's buffer.
void dot_handler(int) {
    ssize_t ignored = write(1, ".", 1);
    (void)ignored;
    arm_dot_alarm();
}

void arm_dot_alarm() {
    struct sigaction action = {};
    action.sa_handler = dot_handler;
    sigemptyset(&action.sa_mask);
    // The main flow is usually blocked in a read or a wait, which must
    // resume rather than fail with EINTR.
    action.sa_flags = SA_RESTART;
    sigaction(SIGALRM, &action, nullptr);
    alarm(1);
}

}  // namespace

void start_dots(const char* message) {
    // Messages are fixed texts; they are printed as they stand, never
    // interpreted as a format.
    std::fputs(message, stdout);
    std::fflush(stdout);
    arm_dot_alarm();
}

void stop_dots() {
    std::puts("");
    struct sigaction action = {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(SIGALRM, &action, nullptr);
}
