#pragma once

#include <cstdint>

#include "base/byte_string.h"
#include "base/in_stream.h"
#include "base/out_stream.h"

// One entry of the inflated file archive: a 30-byte header, the name, then
// size bytes of data (file contents, link target, 4-byte device number).
enum : std::uint16_t {
    entry_type_mask = 0xf000,
    entry_regular = 0x8000,
    entry_directory = 0x4000,
    entry_symlink = 0xa000,
    entry_char_device = 0x2000,
    entry_block_device = 0x6000,
    entry_fifo = 0x1000,
    entry_permission_mask = 0x0fff,
};

struct archive_entry {
    std::uint16_t mode = 0;
    std::uint16_t owner = 0;
    std::uint16_t group = 0;
    std::uint32_t time = 0;
    std::uint32_t size = 0;
    byte_string name;

    [[nodiscard]] std::uint16_t type() const { return mode & entry_type_mask; }
    [[nodiscard]] std::uint16_t permissions() const { return mode & entry_permission_mask; }
};

// An entry header that cannot be read in full ends the archive; a name cut
// short after a whole header is damage, which an installer must not take
// for the end.
enum class entry_read { whole, end, broken };

// Reads the header and the name of the next entry; the data stays in the
// stream.
[[nodiscard]] entry_read read_entry(in_stream& archive, archive_entry& entry);

// The data of a device entry: its device number.
constexpr std::uint32_t device_data_size = 4;
[[nodiscard]] std::uint32_t decode_device_number(const unsigned char* data);
void encode_device_number(std::uint32_t number, unsigned char* data);

// Writes the header and the name; the caller writes size bytes of data.
// The bytes no reader interprets are written as zero.
void write_entry(out_stream& archive, const archive_entry& entry);
