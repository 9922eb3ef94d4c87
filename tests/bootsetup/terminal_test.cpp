#include "bootsetup/terminal.h"

#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include "console_session.h"

namespace {

// The line settings that matter, as a short text the child can report.
std::string settings_text() {
    termios settings{};
    if (tcgetattr(STDIN_FILENO, &settings) != 0) return "none;";
    return std::string("icanon=") + ((settings.c_lflag & ICANON) ? "1" : "0") +
           " echo=" + ((settings.c_lflag & ECHO) ? "1" : "0") +
           " vmin=" + std::to_string(settings.c_cc[VMIN]) +
           " vtime=" + std::to_string(settings.c_cc[VTIME]) + ";";
}

void set_timing(int vmin, int vtime) {
    termios settings{};
    tcgetattr(STDIN_FILENO, &settings);
    settings.c_cc[VMIN] = static_cast<cc_t>(vmin);
    settings.c_cc[VTIME] = static_cast<cc_t>(vtime);
    tcsetattr(STDIN_FILENO, TCSANOW, &settings);
}

TEST(terminal, raw_mode_saves_once_and_restores_the_first_settings) {
    const auto run = console_test::run_on_pty(
        [] {
            set_timing(4, 3);
            console_terminal console;
            console.enter_raw_mode();
            console_test::report(settings_text());
            // Changed behind its back and entered again: the first saved
            // settings must still be the ones restored.
            set_timing(9, 9);
            console.enter_raw_mode();
            console.restore_console();
            console_test::report(settings_text() + (console.is_raw() ? "raw;" : "cooked;"));
        },
        {}, true);
    ASSERT_TRUE(console_test::exited_with(run, 0));
    EXPECT_EQ(run.report,
              "icanon=0 echo=0 vmin=1 vtime=0;"
              "icanon=1 echo=0 vmin=4 vtime=3;cooked;");
    EXPECT_EQ(run.output, "\033[?25h");
}

TEST(terminal, restore_without_raw_mode_only_shows_the_cursor) {
    const auto run = console_test::run_on_pty(
        [] {
            set_timing(4, 3);
            console_terminal console;
            console.restore_console();
            console_test::report(settings_text());
        },
        {}, true);
    EXPECT_EQ(run.report, "icanon=1 echo=0 vmin=4 vtime=3;");
    EXPECT_EQ(run.output, "\033[?25h");
}

TEST(terminal, keys_mode_keeps_timing_and_becomes_what_raw_mode_restores) {
    const auto run = console_test::run_on_pty(
        [] {
            set_timing(4, 3);
            keys_mode();
            console_test::report(settings_text());
            console_terminal console;
            console.enter_raw_mode();
            console.restore_console();
            console_test::report(settings_text());
        },
        {}, true);
    EXPECT_EQ(run.report, "icanon=0 echo=0 vmin=4 vtime=3;icanon=0 echo=0 vmin=4 vtime=3;");
}

TEST(terminal, raw_mode_on_a_pipe_changes_nothing) {
    const auto run = console_test::run_on_pipes([] {
        console_terminal console;
        console.enter_raw_mode();
        console_test::report(console.is_raw() ? "raw" : "cooked");
        console.restore_console();
    });
    EXPECT_EQ(run.report, "cooked");
    EXPECT_EQ(run.output, "\033[?25h");
}

}  // namespace
