#include "installer/database.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/file_streams.h"
#include "base/format_text.h"
#include "base/posix_io.h"
#include "installer/install_errors.h"
#include "package/package_name.h"

namespace {

constexpr const char* database_directory = "/var/pdb/";

bool is_hidden(const char* name) {
    return name[0] == '.';
}

// Reads a relation file into list; a missing file is an empty list. False
// when a line is not complete (the relations before it stay).
bool read_relation_file(const byte_string& path, array<relation>& list, bool with_priority) {
    file_in_stream in(path.text());
    for (;;) {
        relation r;
        in >> r.name;
        if (in.failed()) return true;
        in >> r.min >> r.max;
        if (with_priority) in >> r.priority;
        if (in.failed()) return false;
        list.push_back(r);
    }
}

void read_file_list(const byte_string& path, installed_package& p) {
    file_in_stream in(path.text());
    byte_string line;
    while (in.good()) {
        in.get_line(line, '\n');
        if (line.empty()) continue;
        if (line[0] == '/') {
            p.files.insert(line);
        } else {
            p.files.insert(byte_string("/") + line);
        }
    }
}

void read_schedule(const byte_string& path, installed_package& p) {
    {
        file_in_stream in(path.text());
        byte_string word;
        in >> word;
        if (!in.failed()) {
            for (std::uint32_t action = action_uninstall; action <= action_disable; ++action) {
                if (word == pending_action_words[action]) p.pending = action;
            }
        }
    }
    unlink(path.text());
}

// Database files are replaced, never cut: written whole under a temporary
// name in the entry directory and renamed into place, so a crash or a full
// disk leaves the old file or the new one. A cut "version" would make the
// next run uninstall the package, a cut "files" hand its files to --filegc.
bool replace_file(const byte_string& path, const byte_string& bytes) {
    return write_file_whole(path.text(), bytes, 0666);
}

bool write_relation_file(const byte_string& path, const array<relation>& list, bool with_priority) {
    byte_string text;
    for (const relation& r : list) {
        text.append(r.name);
        text.append(format_text(" %u %u", r.min, r.max));
        if (with_priority) text.append(format_text(" %d", r.priority));
        text.append("\n");
    }
    return replace_file(path, text);
}

bool path_exists(const byte_string& path) {
    struct stat st;
    return stat(path.text(), &st) == 0;
}

}  // namespace

byte_string database_entry(const byte_string& name) {
    return byte_string(database_directory) + name + "/";
}

void load_database(repo& r, bool quiet) {
    r.messages.quiet = quiet;
    DIR* directory = opendir(database_directory);
    if (directory == nullptr) {
        r.messages.say_warning("could not open repo");
        return;
    }
    while (dirent* entry = readdir(directory)) {
        if (is_hidden(entry->d_name)) continue;
        auto* p = new installed_package;
        load_entry(*p, byte_string(entry->d_name));
        r.add(p);
    }
    closedir(directory);
}

void load_entry(installed_package& p, const byte_string& name) {
    const byte_string d = database_entry(name);
    p.name = name;
    {
        file_in_stream in((d + "version").text());
        in >> p.version >> p.revision;
        if (in.failed()) p.pending = action_uninstall;
    }
    if (!read_relation_file(d + "deps", p.depends, false)) p.pending = action_uninstall;
    if (!read_relation_file(d + "provides", p.provides, true)) p.pending = action_uninstall;
    if (!read_relation_file(d + "conflicts", p.conflicts, false)) p.pending = action_uninstall;
    p.is_bundle = !path_exists(d + "files");
    if (!p.is_bundle) read_file_list(d + "files", p);
    {
        file_in_stream in((d + "bundle").text());
        byte_string word;
        in >> word;
        if (!in.failed()) {
            p.bundle_name = word;
            p.bundle_version = 0;
        }
    }
    p.disabled = path_exists(d + "disabled");
    read_schedule(d + "schedule", p);
}

bool create_entry_directory(repo& r, const installed_package& p) {
    const byte_string d = database_entry(p.name);
    if (path_exists(d)) return true;
    if (mkdir(d.text(), 0770) != 0) {
        report_disk_error(r, p, "meta");
        return false;
    }
    return true;
}

bool write_metadata(repo& r, const installed_package& p) {
    const byte_string d = database_entry(p.name);
    if (!replace_file(d + "version", format_text("%u %u\n", p.version, p.revision))) {
        report_disk_error(r, p, "meta/version");
        return false;
    }
    if (!write_relation_file(d + "deps", p.depends, false)) {
        report_disk_error(r, p, "meta/deps");
        return false;
    }
    if (!p.provides.empty() && !write_relation_file(d + "provides", p.provides, true)) {
        report_disk_error(r, p, "meta/provides");
        return false;
    }
    if (!p.conflicts.empty() && !write_relation_file(d + "conflicts", p.conflicts, false)) {
        report_disk_error(r, p, "meta/conflicts");
        return false;
    }
    if (p.bundle_name.empty()) {
        unlink((d + "bundle").text());
    } else if (!replace_file(d + "bundle", p.bundle_name + "\n")) {
        report_disk_error(r, p, "meta/bundle");
        return false;
    }
    if (p.disabled) {
        if (!replace_file(d + "disabled", byte_string())) {
            report_disk_error(r, p, "meta/disabled");
            return false;
        }
    } else {
        unlink((d + "disabled").text());
    }
    if (!write_file_list(p)) {
        report_disk_error(r, p, "meta/files");
        return false;
    }
    return true;
}

bool write_file_list(const installed_package& p) {
    if (p.is_bundle) return true;
    byte_string text;
    for (const byte_string& path : p.files) {
        if (path.empty()) continue;
        if (path[0] == '/') {
            text.append(path.data() + 1, path.length() - 1);
        } else {
            text.append(path);
        }
        text.append("\n");
    }
    return replace_file(database_entry(p.name) + "files", text);
}

void remove_entry(const installed_package& p) {
    // An unsafe name would make the entry directory the database itself or
    // a place outside it; such a package never had an entry.
    if (!valid_package_name(p.name)) return;
    const byte_string d = database_entry(p.name);
    DIR* directory = opendir(d.text());
    if (directory != nullptr) {
        while (dirent* entry = readdir(directory)) {
            if (is_hidden(entry->d_name)) continue;
            unlink((d + entry->d_name).text());
        }
        closedir(directory);
    }
    rmdir(d.text());
}
