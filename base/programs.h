#pragma once

#include <cstddef>
#include <cstdio>
#include <initializer_list>

// Where the output of other programs goes: a console the user does not look
// at. The entry point rewrites it in place ("/dev/null" on a serial
// console), so it is writable storage rather than a constant.
inline constexpr std::size_t log_device_size = 256;
extern char log_device[log_device_size];

// The arguments after the program path; at most max_program_arguments.
using program_arguments = std::initializer_list<const char*>;
inline constexpr std::size_t max_program_arguments = 14;

// The runners start their programs with start_program (base/process.h),
// whose test prefix applies to them.

// Starts path (no PATH search, environment inherited) with standard input
// from "/dev/null" and standard output and error on log_device, inside root
// when root is not null, and waits for it. Returns the raw wait status, or
// -1 when it could not be started or waited for; a program that cannot be
// executed or a root that cannot be entered give exit status 127.
[[nodiscard]] int run_program(const char* root, const char* path, program_arguments arguments);

// Starts path with its standard output on a pipe and returns the reading
// end, or null. Only one pipe child may exist at a time.
[[nodiscard]] std::FILE* open_program_output(const char* path, program_arguments arguments);

// Starts path with its standard input on a pipe and returns the writing
// end, or null. The argument ">null" is not passed on: it sends the
// program's output to log_device instead of the console.
[[nodiscard]] std::FILE* open_program_input(const char* path, program_arguments arguments);

// Closes the stream of the pipe child and waits for it. Returns the raw wait
// status, or -1 when there is no pipe child, the close fails or the wait
// fails.
int close_program(std::FILE* stream);
