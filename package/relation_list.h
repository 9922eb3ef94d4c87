#pragma once

#include <cstddef>
#include <cstdint>

#include "base/array.h"
#include "base/in_stream.h"
#include "base/out_stream.h"
#include "package/relation.h"

// The payload of a depends, provides, conflicts or disabled-members part: a
// 2-byte count, then that many relation records. A record is the name
// field, min, 4 bytes no reader interprets (written as zero), max and
// priority.

// bytes holds relation_record_size bytes.
void encode_relation(const relation& r, unsigned char* bytes);
void decode_relation(const unsigned char* bytes, relation& r);

// Each is false when the stream ends before the count or the record.
[[nodiscard]] bool read_relation_count(in_stream& part, std::uint16_t& count);
[[nodiscard]] bool read_relation(in_stream& part, relation& r);
// The count and every record it announces, appended to list.
[[nodiscard]] bool read_relation_list(in_stream& part, array<relation>& list);

// The count and the records. A list longer than a count can hold is
// refused (fail_bit) rather than cut, so no record goes missing unseen.
void write_relation_list(out_stream& part, const relation* first, std::size_t count);
