#include "bootsetup/prompts.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "base/byte_string.h"
#include "base/posix_io.h"
#include "bootsetup/screen.h"

namespace {

constexpr int key_escape = 27;
constexpr int key_enter = 10;
constexpr int key_delete = 127;
constexpr int bell = 7;

void ring_bell() {
    std::putchar(bell);
    std::fflush(stdout);
}

bool ask(const char* question, bool show_cursor) {
    std::printf("%s [y/n]:", question);
    if (show_cursor) set_cursor_hidden(false);
    std::fflush(stdout);
    bool answer = false;
    for (;;) {
        const int c = read_key();
        // A console that has gone away cannot answer; waiting for it would
        // spin forever, and no is the answer that changes nothing.
        if (c == key_end) {
            std::putchar('\n');
            break;
        }
        if (c == 'y' || c == 'Y') {
            std::puts("y");
            answer = true;
            break;
        }
        if (c == 'n' || c == 'N') {
            std::puts("n");
            break;
        }
        ring_bell();
    }
    if (show_cursor) set_cursor_hidden(true);
    return answer;
}

}  // namespace

int read_key() {
    // Flushed here so that everything drawn so far is on the screen while
    // the program waits for the user.
    std::fflush(stdout);
    unsigned char byte = 0;
    if (read_all(STDIN_FILENO, &byte, 1) == 1) return byte;
    return key_end;
}

int read_menu_key() {
    const int first = read_key();
    if (first != key_escape) return first;
    const int second = read_key();
    if (second != '[') return second;
    switch (read_key()) {
        case 'A':
            return key_up;
        case 'B':
            return key_down;
        case 'C':
            return key_right;
        case 'D':
            return key_left;
        case key_end:
            return key_end;
        default:
            return key_dropped;
    }
}

bool ask_yes_no(const char* question) {
    return ask(question, false);
}

bool ask_yes_no_showing_cursor(const char* question) {
    return ask(question, true);
}

int wait_for_key(int key) {
    for (;;) {
        const int c = read_key();
        const int byte = c == key_end ? 0xFF : c;
        if (byte == (key & 0xFF) || byte == 0xFF) return byte;
        ring_bell();
    }
}

void edit_line(const char* label, const char* default_value, char* result, int size) {
    if (size < 1) return;
    const std::size_t limit = static_cast<std::size_t>(size - 1);
    clear_line();
    std::printf("\r%s: ", label);
    byte_string value;
    bool untouched = false;
    if (default_value != nullptr) {
        set_attributes(attribute_reverse);
        std::fputs(default_value, stdout);
        set_attributes(0);
        const std::size_t length = std::strlen(default_value);
        value.assign(default_value, length < limit ? length : limit);
        untouched = true;
    }
    set_cursor_hidden(false);
    for (;;) {
        const int c = read_key();
        if (c == key_enter || c == key_end) break;
        if (c == key_delete) {
            // While the default is untouched nothing has been typed, so
            // there is nothing to delete.
            if (untouched || value.empty()) continue;
            value.erase(value.length() - 1, 1);
            clear_line();
            std::printf("\r%s: %s", label, value.text());
            continue;
        }
        if (untouched) {
            value.clear();
            if (limit > 0) value.push_back(static_cast<char>(c));
            untouched = false;
            clear_line();
            std::printf("\r%s: %s", label, value.text());
            continue;
        }
        if (value.length() < limit) {
            value.push_back(static_cast<char>(c));
            std::putchar(c);
        }
    }
    if (untouched) std::printf("\r%s: %s", label, value.text());
    std::memcpy(result, value.text(), value.length() + 1);
    set_cursor_hidden(true);
}
