#include "floppy/floppy_header.h"

#include <cstring>

namespace {

std::uint16_t load_le16(const unsigned char* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

void store_le16(unsigned char* bytes, std::uint16_t value) {
    bytes[0] = static_cast<unsigned char>(value);
    bytes[1] = static_cast<unsigned char>(value >> 8);
}

}  // namespace

std::uint32_t load_le32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void store_le32(unsigned char* bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

void decode_floppy_header(const unsigned char* bytes, floppy_header& header) {
    header.magic = load_le32(bytes);
    header.data_length = load_le32(bytes + 4);
    header.set_id = load_le32(bytes + 8);
    header.part_index = load_le16(bytes + 12);
    header.part_count = load_le16(bytes + 14);
    header.block_size = load_le16(bytes + 16);
    header.group_blocks = load_le16(bytes + 18);
    header.parity_blocks = load_le16(bytes + 20);
}

void encode_floppy_header(const floppy_header& header, unsigned char* bytes) {
    std::memset(bytes, 0, floppy_header_bytes);
    store_le32(bytes, header.magic);
    store_le32(bytes + 4, header.data_length);
    store_le32(bytes + 8, header.set_id);
    store_le16(bytes + 12, header.part_index);
    store_le16(bytes + 14, header.part_count);
    store_le16(bytes + 16, header.block_size);
    store_le16(bytes + 18, header.group_blocks);
    store_le16(bytes + 20, header.parity_blocks);
}

bool floppy_geometry_usable(const floppy_header& header) {
    if (header.block_size <= block_check_bytes) return false;
    return header.group_blocks > header.parity_blocks;
}

bool floppy_group_fits(const floppy_header& header) {
    return std::uint32_t{header.block_size} * header.group_blocks <= max_group_bytes;
}
