#include "bootsetup/screen.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "console_session.h"

namespace {

std::string output_of(const std::function<void()>& body) {
    const auto run = console_test::run_on_pipes(body);
    EXPECT_TRUE(console_test::exited_with(run, 0));
    return run.output;
}

TEST(screen, escape_sequences) {
    const struct {
        const char* what;
        std::function<void()> body;
        std::string bytes;
    } cases[] = {
        {"move_cursor row first", [] { move_cursor(26, 7); }, "\033[7;26H"},
        {"move_cursor column 0", [] { move_cursor(0, 25); }, "\033[25;0H"},
        {"clear_screen", [] { clear_screen(); }, "\033[2J\033[H"},
        {"cursor hidden", [] { set_cursor_hidden(true); }, "\033[?25l"},
        {"cursor shown", [] { set_cursor_hidden(false); }, "\033[?25h"},
        {"clear_line", [] { clear_line(); }, "\033[2K"},
        {"attributes 0 only resets", [] { set_attributes(0); }, "\033[m"},
        {"reverse", [] { set_attributes(2); }, "\033[m\033[7m"},
        {"bold", [] { set_attributes(8); }, "\033[m\033[1m"},
        {"all four in order", [] { set_attributes(15); }, "\033[m\033[4m\033[7m\033[5m\033[1m"},
    };
    for (const auto& c : cases) EXPECT_EQ(output_of(c.body), c.bytes) << c.what;
}

TEST(screen, print_line_and_lines) {
    const struct {
        const char* what;
        std::function<void()> body;
        std::string bytes;
    } cases[] = {
        {"exactly length bytes", [] { print_line("abcdef", 3, false); }, "abc\n"},
        {"centred", [] { print_line("title", 5, true); }, std::string(37, ' ') + "title\n"},
        {"too long to centre", [] { print_line(std::string(80, 'x').c_str(), 80, true); },
         std::string(80, 'x') + "\n"},
        {"79 wide gets no indent", [] { print_line(std::string(79, 'x').c_str(), 79, true); },
         std::string(79, 'x') + "\n"},
        {"trailing newline gives one more empty line", [] { print_lines("title\n", true); },
         std::string(37, ' ') + "title\n" + std::string(40, ' ') + "\n"},
        {"pieces", [] { print_lines("a\n\nbc", false); }, "a\n\nbc\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(output_of(c.body), c.bytes) << c.what;
}

TEST(screen, print_wrapped) {
    const std::string long_word(80, 'w');
    const struct {
        const char* what;
        std::string text;
        std::string bytes;
    } cases[] = {
        {"menu help in three lines",
         "Move around menu using 'p' and 'n' or arrow keys, select with 'spacebar'. Select all "
         "with 'a', minimum with 'm'. Press 'i' to install locally or 'r' to install remote "
         "router or 'q' to cancel and reboot.",
         "Move around menu using 'p' and 'n' or arrow keys, select with 'spacebar'. \n"
         "Select all with 'a', minimum with 'm'. Press 'i' to install locally or 'r' to \n"
         "install remote router or 'q' to cancel and reboot. \n"},
        {"newlines and runs of spaces only separate", "one\ntwo   three\n", "one two three \n"},
        {"empty text prints an empty line", "", "\n"},
        {"a long first word comes after a blank line and stays whole", long_word + " x",
         "\n" + long_word + " \nx \n"},
    };
    for (const auto& c : cases) {
        const std::string text = c.text;
        EXPECT_EQ(output_of([&] { print_wrapped(text.c_str(), false); }), c.bytes) << c.what;
    }
}

}  // namespace
