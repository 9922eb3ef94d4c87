#include "installer/used_files.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "package/dump_package.h"

namespace {

bool is_proc_path(const char* path) {
    return std::strncmp(path, "/proc", 5) == 0;
}

void scan_mappings(repo& r, const char* process) {
    char path[128];
    std::snprintf(path, sizeof path, "/proc/%s/maps", process);
    FILE* maps = std::fopen(path, "r");
    if (maps == nullptr) return;
    char line[256];
    while (std::fgets(line, sizeof line, maps) != nullptr) {
        unsigned inode = 0;
        char mapped[256] = "";
        const int fields = std::sscanf(line, "%*s %*s %*s %*s %u %255s", &inode, mapped);
        if (fields >= 1 && inode != 0 && mapped[0] != '\0' && !is_proc_path(mapped)) {
            r.used_files.insert(byte_string(mapped));
        }
    }
    std::fclose(maps);
}

void scan_descriptors(repo& r, const char* process) {
    char directory_path[256];
    std::snprintf(directory_path, sizeof directory_path, "/proc/%s/fd", process);
    DIR* directory = opendir(directory_path);
    if (directory == nullptr) return;
    while (dirent* entry = readdir(directory)) {
        char link_path[256];
        const int length_needed =
            std::snprintf(link_path, sizeof link_path, "%s/%s", directory_path, entry->d_name);
        if (length_needed < 0 || length_needed >= static_cast<int>(sizeof link_path)) continue;
        char target[256];
        const ssize_t length = readlink(link_path, target, 255);
        if (length < 0) continue;
        target[length] = '\0';
        // Sockets and pipes read as "socket:[...]" and fail here.
        struct stat st;
        if (lstat(target, &st) != 0) continue;
        if (S_ISLNK(st.st_mode) || is_proc_path(target)) continue;
        r.used_files.insert(byte_string(target));
    }
    closedir(directory);
}

}  // namespace

void scan_processes(repo& r) {
    DIR* proc = opendir("/proc");
    if (proc == nullptr) {
        r.messages.say_warning("could not open /proc");
        return;
    }
    while (dirent* entry = readdir(proc)) {
        if (!std::isdigit(static_cast<unsigned char>(entry->d_name[0]))) continue;
        scan_mappings(r, entry->d_name);
        scan_descriptors(r, entry->d_name);
    }
    closedir(proc);
}

bool is_used(const repo& r, const byte_string& path) {
    return r.used_files.contains(path);
}

byte_string temporary_name(repo& r) {
    char name[32];
    struct stat st;
    do {
        ++r.temporary_counter;
        std::snprintf(name, sizeof name, "/tmp/inst%u", r.temporary_counter);
    } while (stat(name, &st) == 0);
    return byte_string(name);
}

void remove_files(repo& r, installed_package& p) {
    for (const byte_string& path : p.files) {
        if (is_used(r, path)) {
            const byte_string second = temporary_name(r);
            if (link(path.text(), second.text()) != 0) {
                r.messages.say_warning("link failed: %s", std::strerror(errno));
            }
        }
        unlink(path.text());
    }
    p.files.clear();
}

void dump_repo(const repo& r, out_stream& out) {
    for (const installed_package* p : r.packages) dump_package(*p, out);
    out.end_line();
    out << "used files:";
    out.end_line();
    for (const byte_string& path : r.used_files) {
        out << path;
        out.end_line();
    }
}
