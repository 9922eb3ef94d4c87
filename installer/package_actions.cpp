#include "installer/package_actions.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "installer/database.h"
#include "installer/paths.h"
#include "installer/scripts.h"
#include "installer/used_files.h"

namespace {

void create_empty(const byte_string& path) {
    const int descriptor = open(path.text(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (descriptor >= 0) close(descriptor);
}

}  // namespace

byte_string disabled_prefix(const installed_package& p) {
    return byte_string("/x/") + p.name;
}

void uninstall(repo& r, installed_package& p) {
    run_script(r, p, "onuninstall");
    remove_files(r, p);
    remove_entry(p);
    p.pending = action_none;
}

void disable(repo& r, installed_package& p) {
    run_script(r, p, "onuninstall");
    const byte_string prefix = disabled_prefix(p);
    mkdir("/x", 0770);
    mkdir(prefix.text(), 0770);
    move_files(r, p, prefix, move_mode::add);
    // Errors of the list are not reported: the files have moved either way.
    (void)write_file_list(p);
    create_empty(database_entry(p.name) + "disabled");
    p.disabled = true;
    p.pending = action_none;
}

void enable(repo& r, installed_package& p) {
    move_files(r, p, disabled_prefix(p), move_mode::strip);
    (void)write_file_list(p);
    unlink((database_entry(p.name) + "disabled").text());
    run_script(r, p, "oninstall");
    p.disabled = false;
    p.pending = action_none;
}

void move_files(repo& r, installed_package& p, const byte_string& prefix, move_mode mode) {
    tree_set<byte_string> moved;
    byte_string last_parent;
    byte_string last_old_parent;
    for (const byte_string& path : p.files) {
        byte_string target;
        if (mode == move_mode::add) {
            target = prefix + path;
        } else if (path.starts_with(prefix.text())) {
            target = path.substring(prefix.length(), path.length() - prefix.length());
        }
        if (!target.empty()) {
            const byte_string parent = parent_of(target);
            if (parent != last_parent) {
                make_directories(parent);
                last_parent = parent;
            }
        }
        if (mode == move_mode::strip) {
            const byte_string old_parent = parent_of(path);
            if (old_parent != last_old_parent) {
                if (!last_old_parent.empty()) remove_empty_directories(last_old_parent);
                last_old_parent = old_parent;
            }
        }
        if (link(path.text(), target.text()) == 0) {
            unlink(path.text());
            moved.insert(target);
        } else {
            r.messages.say_warning("link failed: %s", std::strerror(errno));
            moved.insert(path);
        }
    }
    if (mode == move_mode::strip && !last_old_parent.empty()) {
        remove_empty_directories(last_old_parent);
    }
    p.files.swap(moved);
}
