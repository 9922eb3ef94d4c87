#pragma once

#include <sys/types.h>

// What the child of start_program is given for a standard descriptor.
inline constexpr int keep_descriptor = -1;    // the parent's own, inherited
inline constexpr int closed_descriptor = -2;  // none: it runs with it closed

struct program_start {
    // Executed as it stands (no search of PATH), below the test prefix.
    const char* path = nullptr;
    // The argument vector, argument 0 included, ended by a null pointer.
    const char* const* arguments = nullptr;
    // Entered with chroot before the program runs, when not null.
    const char* root = nullptr;
    // Descriptors of the parent that become the child's standard input,
    // output and error, or keep_descriptor or closed_descriptor. The parent
    // still owns and closes them.
    int input = keep_descriptor;
    int output = keep_descriptor;
    int errors = keep_descriptor;
    // Whether the child closes every descriptor above the standard three,
    // so that it holds no pipe end or file of the parent's.
    bool close_others = false;
};

// Starts the program in a child and returns its process id, or -1 when no
// child could be made. A child that cannot enter the root or execute the
// path ends with exit status 127.
[[nodiscard]] pid_t start_program(const program_start& start);

// Waits for the child to end, going on after signals. Returns its raw wait
// status, or -1 with errno set.
[[nodiscard]] int wait_child(pid_t child);

// Tests only: a directory put in front of every path that start_program
// executes, so that fake tools can stand in for the real ones. The program
// still sees its own path as argument 0. Empty by default.
void set_program_prefix(const char* prefix);
