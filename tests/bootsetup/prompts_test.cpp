#include "bootsetup/prompts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "console_session.h"

namespace {

const std::string bell = "\a";

TEST(prompts, ask_yes_no) {
    const struct {
        const char* keys;
        const char* answer;
        std::string output;
    } cases[] = {
        {"y", "yes", "Continue? [y/n]:y\n"},
        {"Y", "yes", "Continue? [y/n]:y\n"},
        {"n", "no", "Continue? [y/n]:n\n"},
        {"N", "no", "Continue? [y/n]:n\n"},
        {" 5\nxy", "yes", "Continue? [y/n]:" + bell + bell + bell + bell + "y\n"},
        // A closed console answers no instead of ringing forever.
        {"q", "no", "Continue? [y/n]:" + bell + "\n"},
    };
    for (const auto& c : cases) {
        const auto run = console_test::run_on_pipes(
            [] { console_test::report(ask_yes_no("Continue?") ? "yes" : "no"); }, c.keys);
        EXPECT_EQ(run.report, c.answer) << c.keys;
        EXPECT_EQ(run.output, c.output) << c.keys;
    }
}

TEST(prompts, ask_yes_no_showing_cursor) {
    const auto run = console_test::run_on_pty(
        [] { console_test::report(ask_yes_no_showing_cursor("Keep config?") ? "yes" : "no"); },
        {{"[y/n]:", "N"}});
    EXPECT_EQ(run.report, "no");
    EXPECT_EQ(run.output, "Keep config? [y/n]:\033[?25hn\n\033[?25l");
}

TEST(prompts, wait_for_key) {
    const struct {
        const char* keys;
        int result;
        std::string output;
    } cases[] = {
        {"ab\n", 10, bell + bell},
        {"\n", 10, ""},
        {"", 0xFF, ""},
        {"a", 0xFF, bell},
    };
    for (const auto& c : cases) {
        const auto run = console_test::run_on_pipes(
            [] { console_test::report(std::to_string(wait_for_key(10))); }, c.keys);
        EXPECT_EQ(run.report, std::to_string(c.result)) << c.keys;
        EXPECT_EQ(run.output, c.output) << c.keys;
    }
}

TEST(prompts, read_menu_key) {
    const struct {
        const char* keys;
        std::string codes;
    } cases[] = {
        {"\033[A\033[B\033[C\033[D", "256,257,258,259,"},
        {"\033[Zq", "-2,113,"},
        {"\033q", "113,"},
        {"\033\033[A", "27,91,65,"},
        {"x", "120,"},
    };
    for (const auto& c : cases) {
        const auto run = console_test::run_on_pipes(
            [] {
                for (int key = read_menu_key(); key != key_end; key = read_menu_key()) {
                    console_test::report(std::to_string(key) + ",");
                }
            },
            c.keys);
        EXPECT_EQ(run.report, c.codes) << c.keys;
    }
}

struct edit_case {
    const char* what;
    const char* default_value;
    int size;
    std::string keys;
    std::string result;
    std::string output;
};

TEST(prompts, edit_line) {
    const std::string label = "\033[2K\rAddress: ";
    const std::string shown = "\033[m\033[7m10.0.0.1\033[m\033[?25h";
    const edit_case cases[] = {
        {"Enter keeps the default", "10.0.0.1", 20, "\n", "10.0.0.1",
         label + shown + "\rAddress: 10.0.0.1\033[?25l"},
        {"typing replaces the default", "10.0.0.1", 20, "ab\n", "ab",
         label + shown + "\033[2K\rAddress: a" + "b\033[?25l"},
        {"delete before typing keeps the default", "10.0.0.1", 20, "\x7f\n", "10.0.0.1",
         label + shown + "\rAddress: 10.0.0.1\033[?25l"},
        {"delete after typing", "10.0.0.1", 20, "ab\x7f\n", "a",
         label + shown + "\033[2K\rAddress: a" + "b\033[2K\rAddress: a\033[?25l"},
        {"backspace 8 is an ordinary character", "10.0.0.1", 20, "\b\n", "\b",
         label + shown + "\033[2K\rAddress: \b\033[?25l"},
        {"at most size - 1 characters", nullptr, 3, "abcd\n", "ab", label + "\033[?25hab\033[?25l"},
        {"without a default delete on empty does nothing", nullptr, 10, "\x7fx\n", "x",
         label + "\033[?25hx\033[?25l"},
        {"end of input acts as Enter", nullptr, 10, "xy", "xy", label + "\033[?25hxy\033[?25l"},
    };
    for (const auto& c : cases) {
        const auto run = console_test::run_on_pipes(
            [&] {
                char result[64];
                std::memset(result, 'Z', sizeof result);
                edit_line("Address", c.default_value, result, c.size);
                console_test::report(result);
            },
            c.keys);
        EXPECT_EQ(run.report, c.result) << c.what;
        EXPECT_EQ(run.output, c.output) << c.what;
    }
}

}  // namespace
