#include "package/header_reading.h"

#include <sys/stat.h>

#include "base/file_streams.h"
#include "package/format.h"
#include "package/header_record.h"

namespace {

// Reads the optional relation list of one type when the reader stands on it.
bool read_optional_list(package_reader& reader, std::int32_t type, array<relation>& list) {
    if (reader.current_type() != type) return true;
    if (!read_relation_list(reader, list)) return false;
    reader.next_part();
    return true;
}

}  // namespace

bool read_header(package_record& p, package_reader& reader) {
    const std::int32_t type = reader.current_type();
    if (type != part_package && type != part_bundle) return false;
    p.is_bundle = type == part_bundle;

    header_record record;
    if (!read_header_record(reader, record)) return false;
    p.name = record.name;
    p.version = record.version;
    p.revision = record.revision;
    reader.next_part();

    if (reader.current_type() == part_architecture) {
        // A cut architecture keeps what arrived.
        p.architecture.clear();
        (void)reader.read_payload(p.architecture);
        reader.next_part();
    } else {
        p.architecture = "i386";
    }
    return read_optional_list(reader, part_depends, p.depends) &&
           read_optional_list(reader, part_provides, p.provides) &&
           read_optional_list(reader, part_conflicts, p.conflicts);
}

bool read_store_file(package_file& f, const char* path) {
    f.path = path;
    file_in_stream file(path);
    package_reader reader(file);
    const std::uint64_t declared = reader.total_size();
    f.size = declared > 0xffffffffu ? 0xffffffffu : static_cast<std::uint32_t>(declared);

    // A file cut short in a download or padded by a copy must not pass for
    // a whole package.
    struct stat status;
    if (stat(path, &status) == 0 && static_cast<std::uint64_t>(status.st_size) != declared)
        return false;

    static const std::uint32_t store_types[] = {part_bundle,  part_package,  part_architecture,
                                                part_depends, part_provides, part_conflicts};
    for (std::uint32_t type : store_types) reader.accept(type);
    reader.next_part();
    if (!read_header(f, reader)) return false;
    if (!f.is_bundle) return true;

    while (reader.current_type() == part_package) {
        auto* member = new package_record;
        f.members.push_back(member);
        if (!read_header(*member, reader)) return false;
    }
    return !f.members.empty();
}
