#include "package/header_reading.h"

#include <sys/stat.h>

#include "base/file_streams.h"
#include "package/format.h"

namespace {

byte_string name_from_field(const unsigned char* field) {
    return byte_string(reinterpret_cast<const char*>(field),
                       static_cast<std::size_t>(name_field_length(field)));
}

// The architecture payload is read in small pieces rather than sized from
// the declared length, so a damaged length cannot ask for gigabytes. A cut
// payload keeps what arrived.
void read_architecture(package_reader& reader, byte_string& architecture) {
    architecture.clear();
    std::uint32_t left = reader.part_length();
    char piece[256];
    while (left > 0) {
        const std::uint32_t want = left < sizeof piece ? left : sizeof piece;
        reader.read(piece, want);
        architecture.append(piece, static_cast<std::size_t>(reader.last_count()));
        if (reader.last_count() != want)
            return;
        left -= want;
    }
}

// Reads the optional relation list of one type when the reader stands on it.
bool read_optional_list(package_reader& reader, std::int32_t type, array<relation>& list) {
    if (reader.current_type() != type)
        return true;
    if (!read_relation_list(reader, list))
        return false;
    reader.next_part();
    return true;
}

}  // namespace

bool read_relation_list(package_reader& reader, array<relation>& list) {
    unsigned char count_bytes[2];
    reader.read(count_bytes, sizeof count_bytes);
    if (reader.last_count() != sizeof count_bytes)
        return false;
    const std::uint16_t count = load_u16(count_bytes);
    for (std::uint16_t i = 0; i < count; ++i) {
        unsigned char record[relation_record_size];
        reader.read(record, sizeof record);
        if (reader.last_count() != sizeof record)
            return false;
        relation& r = list.push_back(relation());
        r.name = name_from_field(record);
        r.min = load_u32(record + 16);
        r.max = load_u32(record + 24);
        r.priority = static_cast<std::int32_t>(load_u32(record + 28));
    }
    return true;
}

bool read_header(package_record& p, package_reader& reader) {
    const std::int32_t type = reader.current_type();
    if (type != part_package && type != part_bundle)
        return false;
    p.is_bundle = type == part_bundle;

    unsigned char record[header_record_size];
    reader.read(record, sizeof record);
    if (reader.last_count() != sizeof record)
        return false;
    p.name = name_from_field(record);
    p.version = load_u32(record + 16);
    p.revision = load_u32(record + 20);
    reader.next_part();

    if (reader.current_type() == part_architecture) {
        read_architecture(reader, p.architecture);
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
    f.size = reader.total_size();

    // A file cut short in a download or padded by a copy must not pass for
    // a whole package.
    struct stat status;
    if (stat(path, &status) == 0 && status.st_size != static_cast<off_t>(f.size))
        return false;

    static const std::uint32_t store_types[] = {part_bundle,  part_package,  part_architecture,
                                                part_depends, part_provides, part_conflicts};
    for (std::uint32_t type : store_types) reader.accept(type);
    reader.next_part();
    if (!read_header(f, reader))
        return false;
    if (!f.is_bundle)
        return true;

    while (reader.current_type() == part_package) {
        auto* member = new package_record;
        f.members.push_back(member);
        if (!read_header(*member, reader))
            return false;
    }
    return !f.members.empty();
}
