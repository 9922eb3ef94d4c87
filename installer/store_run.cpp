#include "installer/store_run.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include "base/file_streams.h"
#include "base/format_text.h"
#include "base/own_ptr.h"
#include "base/standard_streams.h"
#include "installer/database.h"
#include "installer/install.h"
#include "installer/run_flags.h"
#include "package/header_reading.h"
#include "package/order_packages.h"
#include "package/package_name.h"

namespace {

constexpr std::uint32_t ram_budget = 10485760;

bool is_store_file(const char* name) {
    const byte_string text(name);
    if (text.empty() || text[0] == '.' || text.length() < 4) return false;
    return text.ends_with(".vsk") || text.ends_with(".dpk");
}

// A store file whose names could not serve as entry directories is as
// unusable as a damaged one.
bool has_valid_names(const package_file& f) {
    if (!valid_package_name(f.name)) return false;
    for (const package_record* m : f.members) {
        if (!valid_package_name(m->name)) return false;
    }
    return true;
}

void scan_directory(repo& r, const char* directory, array<own_ptr<package_file>>& found) {
    DIR* listing = opendir(directory);
    if (listing == nullptr) return;
    while (dirent* entry = readdir(listing)) {
        if (!is_store_file(entry->d_name)) continue;
        const byte_string path = byte_string(directory) + entry->d_name;
        own_ptr<package_file> f(new package_file);
        if (read_store_file(*f, path.text()) && has_valid_names(*f)) {
            found.push_back(std::move(f));
        } else {
            r.messages.say_error("broken package %s", entry->d_name);
        }
    }
    closedir(listing);
}

byte_string last_component(const byte_string& path) {
    const std::size_t slash = path.find_last('/');
    if (slash == byte_string::npos) return path;
    return path.substring(slash + 1, path.length() - slash - 1);
}

void move_small_files_to_ram(array<package_file*>& files) {
    std::uint32_t budget = ram_budget;
    for (package_file* f : files) {
        if (f->size >= budget) continue;
        const byte_string target = format_text("%s/%s", "/ram", last_component(f->path).text());
        if (!move_file(f->path.text(), target.text())) continue;
        f->return_path = f->path;
        f->path = target;
        budget -= f->size;
    }
}

void install_one(repo& r, package_file& f, std::uint32_t flags,
                 const previous_state_map& previous) {
    file_in_stream in(f.path.text());
    if (in.is_open() && install_stream(r, in, flags, previous) == 0) {
        in.close();
        unlink(f.path.text());
        return;
    }
    in.close();
    if (!f.return_path.empty()) static_cast<void>(move_file(f.path.text(), f.return_path.text()));
}

// The device needs a reinstallation; the run stays here without using the
// processor until someone turns the machine off.
[[noreturn]] void stop_for_good() {
    console_out.end_line();
    console_out << "ERROR: router installation failed!!!";
    console_out.end_line();
    console_out << "Please, reinstall.";
    console_out.end_line();
    for (;;) pause();
}

}  // namespace

bool copy_file(const char* source, const char* target) {
    file_in_stream in(source);
    if (!in.is_open()) return false;
    file_out_stream out(target);
    if (!out.is_open()) return false;
    out << *in.buffer();
    out.flush();
    if (out.failed()) {
        out.close();
        unlink(target);
        return false;
    }
    out.close();
    in.close();
    return true;
}

bool move_file(const char* source, const char* target) {
    if (!copy_file(source, target)) return false;
    unlink(source);
    return true;
}

void store_run(repo& r, std::uint32_t flags) {
    struct stat st;
    if (stat("/DOWNGRADE", &st) == 0) {
        unlink("/DOWNGRADE");
        flags |= allow_downgrade;
    }
    const bool recovery = (flags & allow_same) != 0;
    array<own_ptr<package_file>> found;
    if (recovery) scan_directory(r, "/ram/", found);
    scan_directory(r, "/var/pckg/", found);

    array<package_record*> order;
    for (const own_ptr<package_file>& f : found) order.push_back(f.get());
    order_packages(order, (flags & allow_downgrade) != 0, true, r.messages);
    array<package_file*> files;
    for (package_record* p : order) files.push_back(static_cast<package_file*>(p));

    previous_state_map previous;
    for (const installed_package* p : r.packages) previous.insert(p->name, p->disabled);

    if (!recovery) move_small_files_to_ram(files);
    sync();
    if (!files.empty()) r.messages.load_log();
    for (package_file* f : files) install_one(r, *f, flags, previous);
    if (r.packages.empty()) stop_for_good();
}
