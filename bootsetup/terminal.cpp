#include "bootsetup/terminal.h"

#include <unistd.h>

#include <cstdio>

console_terminal* setup_console = nullptr;

void console_terminal::enter_raw_mode() {
    if (raw_ == 1) return;
    // Without readable settings there is nothing to restore later, so the
    // flag stays clear and restore_console leaves the line alone.
    if (tcgetattr(STDIN_FILENO, &saved_) != 0) return;
    termios changed = saved_;
    changed.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    changed.c_cc[VMIN] = 1;
    changed.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &changed);
    raw_ = 1;
}

void console_terminal::restore_console() {
    if (raw_ != 0) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
        raw_ = 0;
    }
    std::fputs("\033[?25h", stdout);
}

void keys_mode() {
    termios settings{};
    if (tcgetattr(STDIN_FILENO, &settings) != 0) return;
    settings.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &settings);
}
