#pragma once

#include <cstdint>

#include "base/byte_string.h"
#include "base/little_endian.h"

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

// Length of a NUL-padded name field: up to the first NUL, at most 16.
int name_field_length(const unsigned char* field);
// The name a field holds.
byte_string decode_name_field(const unsigned char* field);
// Fills the 16 bytes of the field: the name, cut to the field, then NULs.
void encode_name_field(const byte_string& name, unsigned char* field);
