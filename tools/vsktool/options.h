#pragma once

#include <cstdint>
#include <string>

#include "base/posix_io.h"
#include "package/relation.h"

// Exit statuses of every command.
enum : int { exit_ok = 0, exit_failure = 1, exit_usage = 2 };

// One line "vsktool: WHERE: MESSAGE" on standard error. Every failure is
// reported this way once, where it is found; the callers only stop.
void report(const char* where, const char* format, ...) __attribute__((format(printf, 2, 3)));

// A line saying what is wrong with the arguments, then the command's usage
// line, on standard error. Returns exit_usage so that callers can return it.
int usage_error(const char* usage, const char* format, ...) __attribute__((format(printf, 2, 3)));

// A decimal number that fits 32 bits, nothing else around it.
[[nodiscard]] bool parse_number(const char* text, std::uint32_t* value);
[[nodiscard]] bool parse_signed(const char* text, std::int32_t* value);

// A version text, or the empty text for 0 (no bound).
[[nodiscard]] bool parse_bound(const std::string& text, std::uint32_t* version);

// A name that can stand in a 16-byte name field and as a directory name of
// the package database: 1 to 16 bytes, printable, no "/" and no blanks.
// Returns the reason it cannot, or null.
[[nodiscard]] const char* bad_name_reason(const std::string& name);

// NAME[:MIN[:MAX[:PRIORITY]]]; MIN and MAX are version texts, empty for no
// bound. Returns the reason the text is wrong, or an empty string.
[[nodiscard]] std::string parse_relation(const char* text, relation& r);

// A relation as "name (>= 1.0, <= 2.0, priority 5)" for listings.
[[nodiscard]] std::string relation_text(const relation& r);

// Bytes that cannot be shown on one terminal line are written as "\ooo".
[[nodiscard]] std::string printable(const char* data, std::size_t length);

// The arguments of a command that takes one package file and --help.
// Returns exit_ok with *file set, -1 after printing the help, or exit_usage
// after saying what is wrong.
int single_file_arguments(int argc, char** argv, const char* usage, const char* help,
                          const char** file);

// Packages are written beside their final name and renamed when whole, so a
// failed run leaves no half package behind and keeps an older one. Commits
// file over output; on failure reports, and the partial file is gone.
[[nodiscard]] bool commit_output(replacement_file& file, const char* output);
