#pragma once

#include <cstddef>
#include <cstdint>

// The header at the start of every part file of a floppy set. On the floppy
// it is 32 bytes, little-endian; after the header come whole groups of
// blocks, each block a payload of block_size - 4 bytes and the payload's
// CRC-32. The last parity_blocks blocks of a group are parity; with one,
// the XOR of all payloads of a group is zero.
struct floppy_header {
    std::uint32_t magic;
    std::uint32_t data_length;  // bytes of package stream in this part
    std::uint32_t set_id;       // equal on every floppy of one set
    std::uint16_t part_index;
    std::uint16_t part_count;
    std::uint16_t block_size;    // the check value included
    std::uint16_t group_blocks;  // the parity blocks included
    std::uint16_t parity_blocks;
};

inline constexpr std::uint32_t floppy_magic = 0x72847299;
inline constexpr std::size_t floppy_header_bytes = 32;
inline constexpr std::size_t block_check_bytes = 4;
// A whole group is held in memory while it is checked.
inline constexpr std::uint32_t max_group_bytes = 1048576;

void decode_floppy_header(const unsigned char* bytes, floppy_header& header);
// Writes all 32 bytes; the unused ones are zero.
void encode_floppy_header(const floppy_header& header, unsigned char* bytes);

// Whether the block geometry makes sense at all: every block has a payload
// and every group a data block.
[[nodiscard]] bool floppy_geometry_usable(const floppy_header& header);
// Whether a group fits max_group_bytes, the memory a group may take.
[[nodiscard]] bool floppy_group_fits(const floppy_header& header);

[[nodiscard]] inline std::size_t payload_bytes(const floppy_header& header) {
    return header.block_size - block_check_bytes;
}
[[nodiscard]] inline std::size_t data_blocks(const floppy_header& header) {
    return header.group_blocks - header.parity_blocks;
}
