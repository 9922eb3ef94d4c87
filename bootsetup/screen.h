#pragma once

// Output primitives of the 80-column console. Everything goes to standard
// output through stdio and nothing here flushes.

enum display_attribute {
    attribute_underline = 1,
    attribute_reverse = 2,
    attribute_blink = 4,
    attribute_bold = 8,
};

inline constexpr int screen_width = 80;
// Wrapped lines stay clear of the last two columns.
inline constexpr int wrap_width = 78;

void move_cursor(int column, int row);
void clear_screen();
void set_cursor_hidden(bool hidden);
void clear_line();
// Resets first, so 0 only resets.
void set_attributes(int bits);

// Exactly length bytes of text and a newline; centred on the 80 columns.
void print_line(const char* text, int length, bool centred);
// One print_line per newline-separated piece, the piece after the last
// newline included (an empty one when the text ends in a newline).
void print_lines(const char* text, bool centred);
// Word wrap at 78 columns; spaces and newlines only separate words.
void print_wrapped(const char* text, bool centred);
