#include "tools/vsktool/directory_archive.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "base/out_stream.h"
#include "package/archive_entry.h"
#include "package/format.h"
#include "tools/vsktool/options.h"

namespace {

struct tree_walk {
    const tree_options& options;
    out_stream& archive;
};

// Large reads keep the system calls few; the archive stream passes big
// writes on without copying them into its small area first.
constexpr std::size_t chunk_size = 256 * 1024;
char chunk[chunk_size];

// Names ordered by their bytes taken as signed values, the order every
// sorted list of names in this system follows.
bool name_less(const std::string& a, const std::string& b) {
    std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        signed char x = static_cast<signed char>(a[i]);
        signed char y = static_cast<signed char>(b[i]);
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

bool sorted_names(const std::string& path, std::vector<std::string>& names) {
    DIR* directory = opendir(path.c_str());
    if (directory == nullptr) {
        report(path.c_str(), "cannot open directory: %s", std::strerror(errno));
        return false;
    }
    errno = 0;
    while (dirent* item = readdir(directory)) {
        if (std::strcmp(item->d_name, ".") != 0 && std::strcmp(item->d_name, "..") != 0) {
            names.emplace_back(item->d_name);
        }
        errno = 0;
    }
    int read_error = errno;
    closedir(directory);
    if (read_error != 0) {
        report(path.c_str(), "cannot read directory: %s", std::strerror(read_error));
        return false;
    }
    std::sort(names.begin(), names.end(), name_less);
    return true;
}

bool archive_failed(const tree_walk& walk, const std::string& path) {
    if (!walk.archive.failed()) return false;
    report(path.c_str(), "cannot write the archive: %s",
           errno != 0 ? std::strerror(errno) : "compression failed");
    return true;
}

// Streams exactly size bytes: the entry header already promised them.
bool copy_contents(const tree_walk& walk, const std::string& path, std::uint32_t size) {
    int file = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (file < 0) {
        report(path.c_str(), "cannot open: %s", std::strerror(errno));
        return false;
    }
    posix_fadvise(file, 0, 0, POSIX_FADV_SEQUENTIAL);
    std::uint32_t left = size;
    bool ok = true;
    while (left > 0) {
        const std::size_t wanted = std::min<std::size_t>(left, chunk_size);
        const ssize_t got = read_all(file, chunk, wanted);
        if (got < 0) {
            report(path.c_str(), "cannot read: %s", std::strerror(errno));
            ok = false;
            break;
        }
        if (got > 0) {
            errno = 0;
            walk.archive.write(chunk, got);
            if (archive_failed(walk, path)) {
                ok = false;
                break;
            }
        }
        if (static_cast<std::size_t>(got) < wanted) {
            report(path.c_str(), "file shrank while it was read");
            ok = false;
            break;
        }
        left -= static_cast<std::uint32_t>(got);
    }
    close(file);
    return ok;
}

bool fill_entry(const tree_walk& walk, const std::string& path, const struct stat& info,
                archive_entry& entry) {
    if (!walk.options.owner_root && (info.st_uid > 0xffff || info.st_gid > 0xffff)) {
        report(path.c_str(), "owner %u:%u does not fit a package (at most 65535; see --owner-root)",
               static_cast<unsigned>(info.st_uid), static_cast<unsigned>(info.st_gid));
        return false;
    }
    if (!walk.options.fixed_time && (info.st_mtime < 0 || info.st_mtime > 0xffffffffll)) {
        report(path.c_str(), "modification time %lld does not fit a package (see --time)",
               static_cast<long long>(info.st_mtime));
        return false;
    }
    entry.mode = static_cast<std::uint16_t>(info.st_mode & 0xffff);
    entry.owner = walk.options.owner_root ? 0 : static_cast<std::uint16_t>(info.st_uid);
    entry.group = walk.options.owner_root ? 0 : static_cast<std::uint16_t>(info.st_gid);
    entry.time =
        walk.options.fixed_time ? walk.options.time : static_cast<std::uint32_t>(info.st_mtime);
    entry.size = 0;
    return true;
}

bool write_symlink(const tree_walk& walk, const std::string& path, archive_entry& entry) {
    char target[PATH_MAX + 1];
    ssize_t length = readlink(path.c_str(), target, sizeof target);
    if (length < 0) {
        report(path.c_str(), "cannot read the link: %s", std::strerror(errno));
        return false;
    }
    if (static_cast<std::size_t>(length) == sizeof target) {
        report(path.c_str(), "link target too long");
        return false;
    }
    entry.size = static_cast<std::uint32_t>(length);
    write_entry(walk.archive, entry);
    walk.archive.write(target, length);
    return !archive_failed(walk, path);
}

bool write_device(const tree_walk& walk, const std::string& path, const struct stat& info,
                  archive_entry& entry) {
    if (info.st_rdev > 0xffffffffull) {
        report(path.c_str(), "device number %u,%u does not fit a package",
               static_cast<unsigned>(major(info.st_rdev)),
               static_cast<unsigned>(minor(info.st_rdev)));
        return false;
    }
    unsigned char number[device_data_size];
    encode_device_number(static_cast<std::uint32_t>(info.st_rdev), number);
    entry.size = sizeof number;
    write_entry(walk.archive, entry);
    walk.archive.write(number, sizeof number);
    return !archive_failed(walk, path);
}

bool write_directory(const tree_walk& walk, const std::string& path, const std::string& name);

bool write_item(const tree_walk& walk, const std::string& path, const std::string& name) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) {
        report(path.c_str(), "cannot stat: %s", std::strerror(errno));
        return false;
    }
    for (const auto& [device, inode] : walk.options.skip) {
        if (info.st_dev == device && info.st_ino == inode) return true;
    }
    if (S_ISSOCK(info.st_mode)) {
        report(path.c_str(), "socket left out (a package cannot hold one)");
        return true;
    }
    if (name.size() > 0xffff) {
        report(path.c_str(), "path too long for a package");
        return false;
    }
    archive_entry entry;
    if (!fill_entry(walk, path, info, entry)) return false;
    entry.name = byte_string(name.data(), name.size());

    switch (info.st_mode & S_IFMT) {
        case S_IFREG:
            if (info.st_size > 0xffffffffll) {
                report(path.c_str(), "file too large for a package (4 GiB at most)");
                return false;
            }
            entry.size = static_cast<std::uint32_t>(info.st_size);
            write_entry(walk.archive, entry);
            return !archive_failed(walk, path) && copy_contents(walk, path, entry.size);
        case S_IFLNK:
            return write_symlink(walk, path, entry);
        case S_IFCHR:
        case S_IFBLK:
            return write_device(walk, path, info, entry);
        case S_IFDIR:
            write_entry(walk.archive, entry);
            return !archive_failed(walk, path) && write_directory(walk, path, name);
        case S_IFIFO:
            write_entry(walk.archive, entry);
            return !archive_failed(walk, path);
        default:
            report(path.c_str(), "unknown kind of file");
            return false;
    }
}

// path names the directory on disk, name its path inside the package ("" for
// the top, which gets no entry of its own).
bool write_directory(const tree_walk& walk, const std::string& path, const std::string& name) {
    std::vector<std::string> names;
    if (!sorted_names(path, names)) return false;
    const std::string prefix = path == "/" ? "" : path;
    for (const std::string& item : names) {
        if (!write_item(walk, prefix + "/" + item, name + "/" + item)) return false;
    }
    return true;
}

}  // namespace

bool write_tree(const char* dir, out_stream& archive, const tree_options& options) {
    struct stat info;
    if (stat(dir, &info) != 0) {
        report(dir, "cannot stat: %s", std::strerror(errno));
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        report(dir, "not a directory");
        return false;
    }
    tree_walk walk{options, archive};
    std::string top(dir);
    while (top.size() > 1 && top.back() == '/') top.pop_back();
    return write_directory(walk, top, "");
}
