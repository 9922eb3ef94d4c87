#pragma once

#include <cstddef>

// What the remote installation needs from the program it runs in. The
// console belongs to the program (its output is buffered there, its keys
// are read there); the disk, the package installer and the end of an
// installation are the program's flows. bootsetup implements both.

class remote_console {
public:
    remote_console() = default;
    remote_console(const remote_console&) = delete;
    remote_console& operator=(const remote_console&) = delete;
    virtual ~remote_console() = default;

    // Exactly these bytes, nothing added.
    virtual void print(const char* text) = 0;
    // Puts everything printed so far on the screen (before a wait that does
    // not go through read_key).
    virtual void flush() = 0;
    // The next byte of input, output flushed first; -1 at the end of input.
    virtual int read_key() = 0;
    virtual void clear_screen() = 0;
    // Column and row as the console counts them.
    virtual void move_cursor(int column, int row) = 0;
    virtual void clear_line() = 0;
    // Display attribute bits (2 is reverse video); 0 resets.
    virtual void set_attributes(int bits) = 0;
    // Word-wrapped, not centred.
    virtual void print_wrapped(const char* text) = 0;
    // A yes/no question with the cursor shown while it waits.
    virtual bool ask_yes_no(const char* question) = 0;
    // The line editor: result receives at most size - 1 bytes and a NUL;
    // default_value may be null.
    virtual void edit_line(const char* label, const char* default_value, char* result,
                           int size) = 0;
};

// printf-style output onto the console.
void say(remote_console& console, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The network-booted machine's side: its disk, its package installer and
// the end of its installation.
class remote_host : public remote_console {
public:
    // "Welcome to Tarnvale Router Software <kind>" on a cleared console.
    virtual void show_banner(const char* kind) = 0;
    // The Ethernet drivers; one that does not load is passed over.
    virtual void load_network_drivers() = 0;
    // Finds the target hard disk; false (with its message) when there is none.
    virtual bool find_target_disk() = 0;
    // Partitions, formats and mounts the new system on new_root(), keeping
    // the old configuration when asked; false (with its messages) on failure.
    virtual bool prepare_target_disk(bool keep) = 0;
    // The disk label the machine announces (at most capacity - 1 characters).
    virtual void disk_label(char* label, std::size_t capacity);
    // Where the new system is mounted.
    virtual const char* new_root() { return "/mnt"; }
    // One package installer taking one package on its input; false when it
    // cannot be started.
    virtual bool start_installer() = 0;
    // False when the bytes did not all go in (the installer has ended).
    virtual bool feed_installer(const unsigned char* bytes, std::size_t count) = 0;
    // Ends the installer's input and waits for it.
    virtual void close_installer() = 0;
    // The post-installation steps; afterwards an abort no longer undoes
    // anything.
    virtual void finish_installation() = 0;
};
