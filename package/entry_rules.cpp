#include "package/entry_rules.h"

namespace {

bool is_dot(const char* component, std::size_t length) {
    return length == 1 && component[0] == '.';
}

bool is_dot_dot(const char* component, std::size_t length) {
    return length == 2 && component[0] == '.' && component[1] == '.';
}

}  // namespace

bool entry_path(const byte_string& name, byte_string& path) {
    const char* text = name.data();
    const std::size_t length = name.length();
    byte_string normal("/");
    std::size_t start = 0;
    while (start < length) {
        std::size_t end = start;
        while (end < length && text[end] != '/') {
            if (text[end] == '\0' || text[end] == '\n') return false;
            ++end;
        }
        const std::size_t size = end - start;
        if (is_dot_dot(text + start, size)) return false;
        if (size > 0 && !is_dot(text + start, size)) {
            if (normal.length() > 1) normal.append("/");
            normal.append(text + start, size);
        }
        start = end + 1;
    }
    path = normal;
    return true;
}

const char* entry_problem(const archive_entry& entry) {
    switch (entry.type()) {
        case entry_regular:
        case entry_directory:
        case entry_fifo:
            break;
        case entry_symlink:
            if (entry.size == 0) return "symbolic link without a target";
            if (entry.size > longest_link_target) return "link target longer than 4095 bytes";
            break;
        case entry_char_device:
        case entry_block_device:
            if (entry.size != 4) return "device number is not 4 bytes";
            break;
        default:
            return "unknown file type";
    }
    byte_string path;
    if (!entry_path(entry.name, path)) {
        if (entry.name.find('\0') != byte_string::npos) return "path holds a NUL byte";
        if (entry.name.find('\n') != byte_string::npos) return "path holds a line break";
        return "path leads out of the tree";
    }
    if (path == "/" && entry.type() != entry_directory) return "empty path";
    // What lies below /proc belongs to the running kernel; through its magic
    // links a path there even leads into other processes' trees.
    if (path.starts_with("/proc/")) return "path below /proc";
    return nullptr;
}

const char* entry_warning(const archive_entry& entry) {
    const std::uint16_t type = entry.type();
    if (type == entry_char_device || type == entry_block_device) return "device node";
    if (type == entry_symlink) return nullptr;
    if ((entry.mode & 06000) != 0) return "set-ID bit";
    if ((entry.mode & 0002) != 0 && (entry.mode & 01000) == 0) {
        return "writable by everyone, without the sticky bit";
    }
    return nullptr;
}
