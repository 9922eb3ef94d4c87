#include "bootsetup/package_list.h"

#include <dirent.h>

#include <cstdio>
#include <cstring>

#include "base/file_streams.h"
#include "package/header_record.h"
#include "package/package_reader.h"
#include "package/relation_list.h"

bool same_name(const char* a, const char* b) {
    return std::strncmp(a, b, name_field_size) == 0;
}

int package_list::find(const char* name) const {
    for (int i = 0; i < count(); ++i) {
        if (same_name(entries[static_cast<std::size_t>(i)].name, name)) return i;
    }
    return -1;
}

namespace {

bool is_package_file_name(const char* name) {
    const std::size_t length = std::strlen(name);
    return length >= 4 && std::strcmp(name + length - 4, ".vsk") == 0;
}

// The names are collected before any file is read, so the listing is
// walked once and closed early.
bool list_package_files(const char* directory, array<byte_string>& names) {
    DIR* listing = opendir(directory);
    if (listing == nullptr) return false;
    while (const dirent* entry = readdir(listing)) {
        if (is_package_file_name(entry->d_name)) names.push_back(byte_string(entry->d_name));
    }
    closedir(listing);
    return !names.empty();
}

// Version bounds do not matter for choosing packages: only the names stay.
bool read_dependencies(package_reader& reader, array<byte_string>& dependencies) {
    std::uint16_t count = 0;
    if (!read_relation_count(reader, count)) return false;
    for (std::uint16_t i = 0; i < count; ++i) {
        relation r;
        if (!read_relation(reader, r)) return false;
        dependencies.push_back(r.name);
    }
    return true;
}

}  // namespace

bool read_package_entry(const char* path, package_entry& entry) {
    file_in_stream file(path);
    if (!file.is_open()) return false;
    package_reader reader(file);
    reader.accept(part_package);
    reader.accept(part_description);
    reader.accept(part_depends);
    if (reader.next_part() != part_package) return false;
    reader.read(entry.header, header_record_size);
    if (reader.last_count() != header_record_size) return false;
    header_record record;
    decode_header_record(entry.header, record);
    std::memset(entry.name, 0, sizeof entry.name);
    std::memcpy(entry.name, record.name.data(), record.name.length());
    int type = reader.next_part();
    if (type == part_description) {
        // Read in bounded pieces: a part that claims more than the file
        // holds fails as a short read instead of reserving what it claims.
        if (!reader.read_payload(entry.description)) return false;
        type = reader.next_part();
    }
    if (type == part_depends) return read_dependencies(reader, entry.dependencies);
    return true;
}

bool load_packages(package_list& list, bool selected) {
    array<byte_string> names;
    if (!list_package_files(list.directory, names)) {
        std::puts("FATAL ERROR: No packages found");
        return false;
    }
    list.entries.clear();
    list.entries.reserve(names.size());
    for (const byte_string& name : names) {
        package_entry& entry = list.entries.push_back(package_entry());
        entry.path = byte_string(list.directory) + "/" + name;
        if (!read_package_entry(entry.path.text(), entry)) {
            std::printf("FATAL ERROR: Bad package %s\n", entry.path.text());
            return false;
        }
        entry.selected = selected ? 1 : 0;
    }
    return true;
}
