#include "bootsetup/screen.h"

#include <cstdio>
#include <cstring>

#include "base/byte_string.h"

void move_cursor(int column, int row) {
    std::printf("\033[%d;%dH", row, column);
}

void clear_screen() {
    std::fputs("\033[2J\033[H", stdout);
}

void set_cursor_hidden(bool hidden) {
    std::fputs(hidden ? "\033[?25l" : "\033[?25h", stdout);
}

void clear_line() {
    std::fputs("\033[2K", stdout);
}

void set_attributes(int bits) {
    std::fputs("\033[m", stdout);
    if (bits & attribute_underline) std::fputs("\033[4m", stdout);
    if (bits & attribute_reverse) std::fputs("\033[7m", stdout);
    if (bits & attribute_blink) std::fputs("\033[5m", stdout);
    if (bits & attribute_bold) std::fputs("\033[1m", stdout);
}

void print_line(const char* text, int length, bool centred) {
    const int indent = (screen_width - length) / 2;
    if (centred && indent > 0) std::printf("%*s", indent, "");
    if (length > 0) std::fwrite(text, 1, static_cast<std::size_t>(length), stdout);
    std::putchar('\n');
}

void print_lines(const char* text, bool centred) {
    for (;;) {
        const char* newline = std::strchr(text, '\n');
        if (newline == nullptr) {
            print_line(text, static_cast<int>(std::strlen(text)), centred);
            return;
        }
        print_line(text, static_cast<int>(newline - text), centred);
        text = newline + 1;
    }
}

namespace {

bool separates_words(char c) {
    return c == ' ' || c == '\n';
}

}  // namespace

// A word longer than a line is kept whole on a line of its own: cutting it
// would misquote a path or a name, and the console wraps it anyway.
void print_wrapped(const char* text, bool centred) {
    byte_string line;
    const char* at = text;
    while (*at != '\0') {
        if (separates_words(*at)) {
            ++at;
            continue;
        }
        const char* word = at;
        while (*at != '\0' && !separates_words(*at)) ++at;
        const std::size_t length = static_cast<std::size_t>(at - word);
        if (line.length() + length + 1 > static_cast<std::size_t>(wrap_width)) {
            print_line(line.text(), static_cast<int>(line.length()), centred);
            line.clear();
        }
        line.append(word, length);
        line.push_back(' ');
    }
    print_line(line.text(), static_cast<int>(line.length()), centred);
}
