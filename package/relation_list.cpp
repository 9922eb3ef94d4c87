#include "package/relation_list.h"

#include <cstring>
#include <utility>

#include "base/little_endian.h"
#include "package/format.h"

void encode_relation(const relation& r, unsigned char* bytes) {
    std::memset(bytes, 0, relation_record_size);
    encode_name_field(r.name, bytes);
    store_u32(bytes + 16, r.min);
    store_u32(bytes + 24, r.max);
    store_u32(bytes + 28, static_cast<std::uint32_t>(r.priority));
}

void decode_relation(const unsigned char* bytes, relation& r) {
    r.name = decode_name_field(bytes);
    r.min = load_u32(bytes + 16);
    r.max = load_u32(bytes + 24);
    r.priority = static_cast<std::int32_t>(load_u32(bytes + 28));
}

bool read_relation_count(in_stream& part, std::uint16_t& count) {
    unsigned char bytes[2];
    part.read(bytes, sizeof bytes);
    if (part.last_count() != sizeof bytes) return false;
    count = load_u16(bytes);
    return true;
}

bool read_relation(in_stream& part, relation& r) {
    unsigned char bytes[relation_record_size];
    part.read(bytes, relation_record_size);
    if (part.last_count() != relation_record_size) return false;
    decode_relation(bytes, r);
    return true;
}

bool read_relation_list(in_stream& part, array<relation>& list) {
    std::uint16_t count = 0;
    if (!read_relation_count(part, count)) return false;
    for (std::uint16_t i = 0; i < count; ++i) {
        relation r;
        if (!read_relation(part, r)) return false;
        list.push_back(std::move(r));
    }
    return true;
}

void write_relation_list(out_stream& part, const relation* first, std::size_t count) {
    if (count > 0xffff) {
        part.add_state(fail_bit);
        return;
    }
    unsigned char count_bytes[2];
    store_u16(count_bytes, static_cast<std::uint16_t>(count));
    part.write(count_bytes, sizeof count_bytes);
    for (std::size_t i = 0; i < count; ++i) {
        unsigned char bytes[relation_record_size];
        encode_relation(first[i], bytes);
        part.write(bytes, relation_record_size);
    }
}
