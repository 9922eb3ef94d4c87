#pragma once

// Questions and key waits on the console: standard input is read one byte
// at a time, with the console in raw or keys mode.

// The next byte of standard input, or -1 at the end of input or on an error.
int read_key();

// Codes of read_menu_key beyond the byte values.
enum menu_key_code {
    key_end = -1,      // end of input
    key_dropped = -2,  // an escape sequence that means nothing to a menu
    key_up = 0x100,
    key_down,
    key_right,
    key_left,
};

// One key press of a menu: a byte, or an arrow key for ESC '[' 'A'..'D'.
// After ESC a byte other than '[' is returned as the key itself.
int read_menu_key();

// Prints "question [y/n]:" and reads until y or n in either case, ringing
// the bell at anything else; the answer is echoed on a line of its own.
// At the end of input the answer is no.
bool ask_yes_no(const char* question);
// The same with the cursor shown while the question waits.
bool ask_yes_no_showing_cursor(const char* question);

// Reads until the byte key or the end of input, ringing the bell at every
// other byte; returns the last byte read, 0xFF at the end of input.
int wait_for_key(int key);

// A one-line editor after "label: ". A default is shown in reverse video and
// taken as it is unless a key other than Enter or delete replaces it. result
// receives at most size - 1 bytes and a NUL; the end of input acts as Enter.
void edit_line(const char* label, const char* default_value, char* result, int size);
