#include "installer/garbage_collection.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace {

void collect_below(const repo& r, const byte_string& directory) {
    // The root is passed as the empty text, so that joined paths begin "/x".
    DIR* listing = opendir(directory.empty() ? "/" : directory.text());
    if (listing == nullptr) return;
    while (dirent* entry = readdir(listing)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        // Paths are built to their full length: a path cut to a fixed area
        // could name another file, and this one deletes.
        const byte_string path = directory + "/" + entry->d_name;
        struct stat st;
        if (lstat(path.text(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            // The database lists no package as owning its own files; a
            // collection from "/" or "/var" must not take it for garbage.
            if (path == "/var/pdb") continue;
            collect_below(r, path);
        } else if (r.owner_of(path).empty()) {
            unlink(path.text());
        }
    }
    closedir(listing);
}

}  // namespace

void collect_garbage(const repo& r, const byte_string& directory) {
    // The database lists absolute paths with single slashes. A directory
    // given as "usr" or "/usr/" would otherwise yield paths that match no
    // package ("usr/bin/x", "/usr//bin/x"), and every file below it would
    // count as unowned. The working directory is "/", so both name the same
    // place as "/usr".
    if (directory.empty()) return;  // names no directory at all
    byte_string start = directory;
    while (start.length() > 1 && start[start.length() - 1] == '/') {
        start.erase(start.length() - 1, 1);
    }
    if (start.empty() || start[0] != '/') start = byte_string("/") + start;
    if (start == "/") start.clear();
    collect_below(r, start);
}
