#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "package/archive_entry.h"
#include "package/format.h"
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
    "well, else 1 with one line saying what is wrong and where.\n";

// Whether the path has a ".." component, which would lead an installer out
// of its root tree.
bool leaves_tree(const char* name, std::size_t length) {
    std::size_t start = 0;
    while (start <= length) {
        std::size_t end = start;
        while (end < length && name[end] != '/') ++end;
        if (end - start == 2 && name[start] == '.' && name[start + 1] == '.') return true;
        start = end + 1;
    }
    return false;
}

// What an installer would trip over in an entry that is otherwise whole.
const char* entry_problem(const archive_entry& entry) {
    switch (entry.type()) {
        case entry_regular:
        case entry_directory:
        case entry_fifo:
            break;
        case entry_symlink:
            if (entry.size == 0) return "symbolic link without a target";
            break;
        case entry_char_device:
        case entry_block_device:
            if (entry.size != 4) return "device number is not 4 bytes";
            break;
        default:
            return "unknown file type";
    }
    if (entry.name.empty()) return "empty path";
    if (leaves_tree(entry.name.data(), entry.name.length())) return "path leads out of the tree";
    return nullptr;
}

class entry_checker : public entry_visitor {
public:
    entry_checker(const char* path, std::uint32_t offset, std::uint64_t& count)
        : path_(path), offset_(offset), count_(count) {}

    bool entry(const archive_entry& entry, const std::string&) override {
        ++count_;
        const char* problem = entry_problem(entry);
        if (problem == nullptr) return true;
        report(path_, "part %u at offset %u: entry %s: %s (mode 0%o, %u data bytes)", part_files,
               offset_, printable(entry.name.data(), entry.name.length()).c_str(), problem,
               entry.mode, entry.size);
        return false;
    }

private:
    const char* path_;
    std::uint32_t offset_;
    std::uint64_t& count_;
};

class verify_visitor : public package_visitor {
public:
    explicit verify_visitor(const char* path) : path_(path) {}

    bool archive(package_reader& reader, const package_summary&, std::uint32_t offset) override {
        entry_checker checker(path_, offset, entries);
        return walk_archive(reader, path_, offset, checker);
    }

    std::uint64_t entries = 0;

private:
    const char* path_;
};

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
