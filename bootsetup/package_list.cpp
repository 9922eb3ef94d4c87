#include "bootsetup/package_list.h"

#include <dirent.h>

#include <cstdio>
#include <cstring>

#include "base/file_streams.h"
#include "package/package_reader.h"

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

// The payload is read in pieces, so a part that claims more than the file
// holds fails as a short read instead of reserving what it claims.
bool read_description(package_reader& reader, byte_string& description) {
    std::uint32_t left = reader.part_length();
    char piece[4096];
    while (left > 0) {
        const std::uint32_t want = left < sizeof piece ? left : sizeof piece;
        reader.read(piece, want);
        if (reader.last_count() != want) return false;
        description.append(piece, want);
        left -= want;
    }
    return true;
}

bool read_dependencies(package_reader& reader, array<byte_string>& dependencies) {
    unsigned char count_bytes[2];
    reader.read(count_bytes, 2);
    if (reader.last_count() != 2) return false;
    const std::uint16_t count = load_u16(count_bytes);
    for (std::uint16_t i = 0; i < count; ++i) {
        unsigned char record[relation_record_size];
        reader.read(record, relation_record_size);
        if (reader.last_count() != relation_record_size) return false;
        dependencies.push_back(byte_string(reinterpret_cast<const char*>(record),
                                           static_cast<std::size_t>(name_field_length(record))));
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
    std::memcpy(entry.name, entry.header, name_field_size);
    entry.name[name_field_size] = '\0';
    int type = reader.next_part();
    if (type == part_description) {
        if (!read_description(reader, entry.description)) return false;
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
