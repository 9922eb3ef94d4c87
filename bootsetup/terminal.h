#pragma once

#include <termios.h>

// The console settings of standard input as they were before bootsetup took
// the console into raw mode, so that they can be put back before a reboot.
class console_terminal {
public:
    // Saves the settings only on the first entry; a second call before
    // restore_console keeps the settings saved first.
    void enter_raw_mode();
    // Puts the saved settings back if raw mode is on, then shows the cursor.
    void restore_console();
    [[nodiscard]] bool is_raw() const { return raw_ == 1; }

private:
    termios saved_{};
    int raw_ = 0;
};

// Turns off line editing and echo of standard input without saving anything;
// the package menu reads single keys this way.
void keys_mode();

// The one console of the process, made at start-up; prompts and the abort
// path reach it through here.
extern console_terminal* setup_console;
