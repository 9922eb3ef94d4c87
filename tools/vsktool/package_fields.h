#pragma once

#include <getopt.h>

#include <cstdint>
#include <string>
#include <vector>

#include "package/relation.h"

class package_writer;

// What build and bundle both put into the parts before the contents: the
// header record and the parts that describe the package.
struct package_fields {
    std::string name;
    bool has_version = false;
    std::uint32_t version = 0;
    std::uint32_t revision = 0;
    bool untracked = false;
    bool has_architecture = false;
    std::string architecture;
    bool has_description = false;
    std::string description;
    std::vector<relation> depends;
    std::vector<relation> provides;
    std::vector<relation> conflicts;
};

// Option codes of the shared options; commands number their own from
// option_first_own on.
enum : int {
    option_name = 256,
    option_version,
    option_revision,
    option_untracked,
    option_arch,
    option_description,
    option_depends,
    option_provides,
    option_conflicts,
    option_help,
    option_first_own,
};

// The getopt_long entries of the shared options, ending with a zero entry
// that callers may overwrite by appending their own before it.
std::vector<option> shared_options();

// Takes one shared option. Returns 1 when taken, 0 when the code is not a
// shared one, or exit_usage after saying what is wrong.
int take_shared_option(int code, const char* value, package_fields& fields, const char* usage);

// The fields every package needs; exit_ok, or exit_usage after saying which
// one is missing.
int check_fields(const package_fields& fields, const char* usage);

// Writes the header part (type 1 or 18) and, when present, the description,
// architecture, depends, provides and conflicts parts, in that order. The
// writer's state tells whether it worked.
void write_description_parts(package_writer& writer, std::uint16_t header_type,
                             const package_fields& fields);

// A relation list part; none for an empty list.
void write_relation_part(package_writer& writer, std::uint16_t type,
                         const std::vector<relation>& list);
