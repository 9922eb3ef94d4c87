#pragma once

#include <cstdint>

// The byte layout of a package container. Every integer is little-endian and
// unaligned; nothing is padded.

constexpr std::uint32_t magic_tracked = 0xbad0f11eu;
constexpr std::uint32_t magic_untracked = 0xa1100ffbu;

enum part_type : std::uint16_t {
    part_package = 1,
    part_description = 2,
    part_depends = 3,
    part_files = 4,
    part_oninstall = 7,
    part_onuninstall = 8,
    part_architecture = 16,
    part_conflicts = 17,
    part_bundle = 18,
    part_provides = 19,
    part_disabled_members = 20,
};

constexpr int file_header_size = 8;
constexpr int part_header_size = 6;
constexpr int header_record_size = 32;
constexpr int relation_record_size = 32;
constexpr int entry_header_size = 30;
constexpr int name_field_size = 16;

inline std::uint16_t load_u16(const unsigned char* at) {
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}
inline std::uint32_t load_u32(const unsigned char* at) {
    return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
           (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}
inline void store_u16(unsigned char* at, std::uint16_t value) {
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}
inline void store_u32(unsigned char* at, std::uint32_t value) {
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
    at[2] = static_cast<unsigned char>(value >> 16);
    at[3] = static_cast<unsigned char>(value >> 24);
}

// Length of a NUL-padded name field: up to the first NUL, at most 16.
int name_field_length(const unsigned char* field);
