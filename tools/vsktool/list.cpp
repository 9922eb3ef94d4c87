#include <sys/sysmacros.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "package/archive_entry.h"
#include "package/format.h"
#include "package/version.h"
#include "tools/vsktool/archive_walk.h"
#include "tools/vsktool/commands.h"
#include "tools/vsktool/options.h"
#include "tools/vsktool/package_input.h"
#include "tools/vsktool/package_walk.h"

namespace {

const char usage[] = "vsktool list FILE.vsk";
const char help[] =
    "Lists the files of a package like tar -tv: mode, owner/group, size (major,minor\n"
    "for devices), modification time (UTC), path, and a link's target. A bundle's\n"
    "members are listed one after the other, each under a heading line.\n";

char type_letter(std::uint16_t type) {
    switch (type) {
        case entry_regular:
            return '-';
        case entry_directory:
            return 'd';
        case entry_symlink:
            return 'l';
        case entry_char_device:
            return 'c';
        case entry_block_device:
            return 'b';
        case entry_fifo:
            return 'p';
        default:
            return '?';
    }
}

std::string mode_text(std::uint16_t mode) {
    std::string text(10, '-');
    text[0] = type_letter(mode & entry_type_mask);
    const char letters[] = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit) {
        if (mode & (0400 >> bit)) text[1 + bit] = letters[bit];
    }
    // Set-user, set-group and sticky bits take the execute columns.
    if (mode & 04000) text[3] = (mode & 0100) ? 's' : 'S';
    if (mode & 02000) text[6] = (mode & 0010) ? 's' : 'S';
    if (mode & 01000) text[9] = (mode & 0001) ? 't' : 'T';
    return text;
}

std::string size_text(const archive_entry& entry, const std::string& head) {
    std::uint16_t type = entry.type();
    if ((type == entry_char_device || type == entry_block_device) &&
        head.size() == device_data_size) {
        dev_t number = decode_device_number(reinterpret_cast<const unsigned char*>(head.data()));
        return std::to_string(major(number)) + "," + std::to_string(minor(number));
    }
    return std::to_string(entry.size);
}

std::string time_text(std::uint32_t seconds) {
    std::time_t when = static_cast<std::time_t>(seconds);
    std::tm parts;
    char text[32];
    gmtime_r(&when, &parts);
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &parts);
    return text;
}

class entry_printer : public entry_visitor {
public:
    bool entry(const archive_entry& entry, const std::string& head) override {
        std::string owner = std::to_string(entry.owner) + "/" + std::to_string(entry.group);
        std::string size = size_text(entry, head);
        // Owner and size share a column of 19 characters, as tar -tv keeps it.
        int pad = 19 - static_cast<int>(owner.size());
        if (pad < static_cast<int>(size.size()) + 1) pad = static_cast<int>(size.size()) + 1;
        std::string line = mode_text(entry.mode) + " " + owner;
        line.append(pad - size.size(), ' ');
        line += size + " " + time_text(entry.time) + " " +
                printable(entry.name.data(), entry.name.length());
        if (entry.type() == entry_symlink) line += " -> " + printable(head.data(), head.size());
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), stdout);
        return true;
    }
};

class list_visitor : public package_visitor {
public:
    explicit list_visitor(const char* path) : path_(path) {}

    bool member(const package_summary& s) override {
        std::printf("%s%s-%s:\n", first_ ? "" : "\n",
                    printable(s.name.data(), s.name.size()).c_str(), version_text(s.version));
        first_ = false;
        return true;
    }
    bool archive(package_reader& reader, const package_summary&, std::uint32_t offset) override {
        entry_printer printer;
        bool ok = walk_archive(reader, path_, offset, printer);
        // What was listed stands before the error line.
        std::fflush(stdout);
        return ok;
    }

private:
    const char* path_;
    bool first_ = true;
};

}  // namespace

int run_list(int argc, char** argv) {
    const char* file = nullptr;
    int parsed = single_file_arguments(argc, argv, usage, help, &file);
    if (parsed == -1) return exit_ok;
    if (parsed != exit_ok) return parsed;

    package_input input(file);
    if (!input.open()) return exit_failure;
    package_summary top;
    list_visitor lister(file);
    bool ok = walk_package(input, top, lister, false);
    std::fflush(stdout);
    return ok ? exit_ok : exit_failure;
}
