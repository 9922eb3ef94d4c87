#include "package/header_record.h"

#include <cstring>

#include "base/little_endian.h"
#include "package/format.h"

void encode_header_record(const header_record& record, unsigned char* bytes) {
    std::memset(bytes, 0, header_record_size);
    encode_name_field(record.name, bytes);
    store_u32(bytes + 16, record.version);
    store_u32(bytes + 20, record.revision);
}

void decode_header_record(const unsigned char* bytes, header_record& record) {
    record.name = decode_name_field(bytes);
    record.version = load_u32(bytes + 16);
    record.revision = load_u32(bytes + 20);
}

bool read_header_record(in_stream& part, header_record& record) {
    unsigned char bytes[header_record_size];
    part.read(bytes, header_record_size);
    if (part.last_count() != header_record_size) return false;
    decode_header_record(bytes, record);
    return true;
}

void write_header_record(out_stream& part, const header_record& record) {
    unsigned char bytes[header_record_size];
    encode_header_record(record, bytes);
    part.write(bytes, header_record_size);
}
