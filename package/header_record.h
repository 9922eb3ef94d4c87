#pragma once

#include <cstdint>

#include "base/byte_string.h"
#include "base/in_stream.h"
#include "base/out_stream.h"

// The payload of a package or bundle header part: the name field, the
// version, the revision, then 8 bytes no reader interprets (written as zero).
struct header_record {
    byte_string name;
    std::uint32_t version = 0;
    std::uint32_t revision = 0;
};

// bytes holds header_record_size bytes.
void encode_header_record(const header_record& record, unsigned char* bytes);
void decode_header_record(const unsigned char* bytes, header_record& record);

// False when the stream ends before a whole record.
[[nodiscard]] bool read_header_record(in_stream& part, header_record& record);
void write_header_record(out_stream& part, const header_record& record);
