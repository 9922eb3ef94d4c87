#include "package/archive_entry.h"

#include "base/little_endian.h"
#include "package/format.h"

entry_read read_entry(in_stream& archive, archive_entry& entry) {
    unsigned char header[entry_header_size];
    archive.read(header, entry_header_size);
    if (!archive.good()) return entry_read::end;
    entry.mode = load_u16(header);
    entry.owner = load_u16(header + 2);
    entry.group = load_u16(header + 4);
    entry.time = load_u32(header + 8);
    entry.size = load_u32(header + 24);
    const std::uint16_t name_length = load_u16(header + 28);
    entry.name.resize(name_length);
    if (name_length > 0) archive.read(entry.name.data(), name_length);
    return archive.good() ? entry_read::whole : entry_read::broken;
}

void write_entry(out_stream& archive, const archive_entry& entry) {
    // The name length has two bytes; a longer name would shift every later
    // entry, so it is refused rather than cut.
    if (entry.name.length() > 0xffff) {
        archive.add_state(fail_bit);
        return;
    }
    unsigned char header[entry_header_size] = {};
    store_u16(header, entry.mode);
    store_u16(header + 2, entry.owner);
    store_u16(header + 4, entry.group);
    store_u32(header + 8, entry.time);
    store_u32(header + 24, entry.size);
    store_u16(header + 28, static_cast<std::uint16_t>(entry.name.length()));
    archive.write(header, entry_header_size);
    if (!entry.name.empty())
        archive.write(entry.name.data(), static_cast<std::int64_t>(entry.name.length()));
}

std::uint32_t decode_device_number(const unsigned char* data) {
    return load_u32(data);
}

void encode_device_number(std::uint32_t number, unsigned char* data) {
    store_u32(data, number);
}
