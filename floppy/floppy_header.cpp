#include "floppy/floppy_header.h"

#include <cstring>

#include "base/little_endian.h"

void decode_floppy_header(const unsigned char* bytes, floppy_header& header) {
    header.magic = load_u32(bytes);
    header.data_length = load_u32(bytes + 4);
    header.set_id = load_u32(bytes + 8);
    header.part_index = load_u16(bytes + 12);
    header.part_count = load_u16(bytes + 14);
    header.block_size = load_u16(bytes + 16);
    header.group_blocks = load_u16(bytes + 18);
    header.parity_blocks = load_u16(bytes + 20);
}

void encode_floppy_header(const floppy_header& header, unsigned char* bytes) {
    std::memset(bytes, 0, floppy_header_bytes);
    store_u32(bytes, header.magic);
    store_u32(bytes + 4, header.data_length);
    store_u32(bytes + 8, header.set_id);
    store_u16(bytes + 12, header.part_index);
    store_u16(bytes + 14, header.part_count);
    store_u16(bytes + 16, header.block_size);
    store_u16(bytes + 18, header.group_blocks);
    store_u16(bytes + 20, header.parity_blocks);
}

bool floppy_geometry_usable(const floppy_header& header) {
    if (header.block_size <= block_check_bytes) return false;
    return header.group_blocks > header.parity_blocks;
}

bool floppy_group_fits(const floppy_header& header) {
    return std::uint32_t{header.block_size} * header.group_blocks <= max_group_bytes;
}
