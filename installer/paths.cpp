#include "installer/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

byte_string parent_of(const byte_string& path) {
    const std::size_t slash = path.find_last('/');
    if (slash == byte_string::npos) return byte_string(".");
    if (slash == 0) return byte_string("/");
    return path.substring(0, slash);
}

void make_directories(const byte_string& directory) {
    for (std::size_t at = 1; at <= directory.length(); ++at) {
        if (at < directory.length() && directory[at] != '/') continue;
        const byte_string step = directory.substring(0, at);
        if (mkdir(step.text(), 0770) != 0 && errno != EEXIST) return;
    }
}

void remove_empty_directories(byte_string directory) {
    while (!directory.empty() && directory != "/" && directory != ".") {
        if (rmdir(directory.text()) != 0) return;
        directory = parent_of(directory);
    }
}
