#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/file_streams.h"
#include "package/archive_entry.h"
#include "package/archive_links.h"
#include "package/entry_rules.h"
#include "package/format.h"
#include "package/package_check.h"
#include "package/package_name.h"
#include "tools/vsktool/archive_walk.h"
#include "tools/vsktool/commands.h"
#include "tools/vsktool/options.h"
#include "tools/vsktool/package_input.h"
#include "tools/vsktool/package_walk.h"

namespace {

const char usage[] = "vsktool verify FILE.vsk";
const char help[] =
    "Checks a package: the declared size against the file, the order and length\n"
    "of every part, every relation list, and every entry of every file archive\n"
    "(inflating it to the end of its compressed stream). Exit status 0 when all is\n"
    "well, else 1 with one line saying what is wrong and where. What installers\n"
    "pass over (parts out of order, bytes after a compressed stream) and legal but\n"
    "risky entries get a warning line each and leave the status 0.\n";

// The installer refuses a package whose name is not one of its own rule.
bool acceptable_name(const char* path, const std::string& name) {
    if (valid_package_name(byte_string(name.data(), name.size()))) return true;
    report(path, "package name \"%s\" is refused by the installer",
           printable(name.data(), name.size()).c_str());
    return false;
}

class entry_checker : public entry_visitor {
public:
    entry_checker(const char* path, std::uint32_t offset, std::uint64_t& count,
                  std::vector<std::string>& warnings, archive_links& links)
        : path_(path), offset_(offset), count_(count), warnings_(warnings), links_(links) {}

    void oddity(const std::string& line) override { warnings_.push_back(line); }

    bool entry(const archive_entry& entry, const std::string& head) override {
        ++count_;
        const char* problem = entry_problem(entry);
        if (problem == nullptr) {
            problem = linked_entry_problem(links_, entry, byte_string(head.data(), head.size()));
        }
        if (problem == nullptr) {
            // Legal, but a builder should see it before a router does.
            // Said only once the whole package is known to be good.
            if (const char* warning = entry_warning(entry)) {
                char line[1024];
                std::snprintf(line, sizeof line, "part %u at offset %u: entry %s: %s (mode 0%o)",
                              part_files, offset_,
                              printable(entry.name.data(), entry.name.length()).c_str(), warning,
                              entry.mode);
                warnings_.push_back(line);
            }
            return true;
        }
        report(path_, "part %u at offset %u: entry %s: %s (mode 0%o, %u data bytes)", part_files,
               offset_, printable(entry.name.data(), entry.name.length()).c_str(), problem,
               entry.mode, entry.size);
        return false;
    }

private:
    const char* path_;
    std::uint32_t offset_;
    std::uint64_t& count_;
    std::vector<std::string>& warnings_;
    archive_links& links_;
};

class verify_visitor : public package_visitor {
public:
    explicit verify_visitor(const char* path) : path_(path) {}

    bool member(const package_summary& m) override { return acceptable_name(path_, m.name); }

    bool archive(package_reader& reader, const package_summary&, std::uint32_t offset) override {
        entry_checker checker(path_, offset, entries, warnings, links_);
        return walk_archive(reader, path_, offset, checker);
    }

    void oddity(const std::string& line) override { warnings.push_back(line); }

    std::uint64_t entries = 0;
    std::vector<std::string> warnings;

private:
    const char* path_;
    // The members of a bundle install into one tree: a link one makes
    // leads the entries of the next.
    archive_links links_;
};

// The installer's own reading of the whole package, as it reads a file
// before an upgrade: whatever it would find broken fails here too.
bool installer_accepts(const char* path, std::uint64_t size) {
    file_in_stream in(path);
    if (!in.is_open()) return true;
    byte_string where;
    const char* problem = check_package(in, size, where);
    if (problem == nullptr) return true;
    report(path, "%s: %s", printable(where.data(), where.length()).c_str(), problem);
    return false;
}

}  // namespace

int run_verify(int argc, char** argv) {
    const char* file = nullptr;
    int parsed = single_file_arguments(argc, argv, usage, help, &file);
    if (parsed == -1) return exit_ok;
    if (parsed != exit_ok) return parsed;

    package_input input(file);
    if (!input.open()) return exit_failure;
    // The size says at once whether the file was cut or padded, which is
    // clearer than what the first broken part would tell.
    if (input.size_known() && input.real_size() != input.declared_size()) {
        report(file, "%s: the header declares %" PRIu64 " bytes, the file holds %" PRIu64,
               input.real_size() < input.declared_size() ? "truncated" : "wrong size",
               input.declared_size(), input.real_size());
        return exit_failure;
    }
    package_summary top;
    verify_visitor checker(file);
    if (!walk_package(input, top, checker, true)) return exit_failure;
    if (!acceptable_name(file, top.name)) return exit_failure;
    if (input.size_known() && !installer_accepts(file, input.real_size())) return exit_failure;
    for (const std::string& warning : checker.warnings) {
        std::fprintf(stderr, "vsktool: %s: warning: %s\n", file, warning.c_str());
    }
    std::string name = printable(top.name.data(), top.name.size());
    if (top.header_type == part_bundle) {
        std::printf("%s: ok (bundle %s, %zu members, %" PRIu64 " entries)\n", file, name.c_str(),
                    top.members.size(), checker.entries);
    } else {
        std::printf("%s: ok (package %s, %" PRIu64 " entries)\n", file, name.c_str(),
                    checker.entries);
    }
    return exit_ok;
}
