#pragma once

#include <cstddef>

#include "disk/disk_record.h"

inline constexpr std::size_t boot_sector_bytes = 512;
inline constexpr std::size_t boot_code_bytes = 184;
// The partition table and the signature start here; they stay as the disk
// has them.
inline constexpr std::size_t partition_table_offset = 446;

// Our program for the master boot record (boot_code.S): it starts the boot
// sector of the first active partition.
extern const unsigned char boot_code_image[boot_code_bytes];

// Sector 0 of device. Failures are reported with perror ("could not open
// MBR", "could not read MBR", "could not write MBR").
[[nodiscard]] bool read_boot_sector(const char* device, unsigned char* sector);
[[nodiscard]] bool write_boot_sector(const char* device, const unsigned char* sector);

// Puts boot_code_image into sector 0 of the disk and clears the rest of the
// code area, keeping the partition table and the signature. A failure has
// been reported and leaves the sector as it was.
void install_boot_code(const disk_record& disk);
