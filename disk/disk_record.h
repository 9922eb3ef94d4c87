#pragma once

#include <cstdint>

// One hard disk as the partitioning tool reports it. The flags decide the
// whole layout of the new system, so only set_geometry derives them.
struct disk_record {
    char name[32];  // "/dev/hda"; NUL-terminated
    std::uint32_t cylinders;
    std::uint32_t cylinder_bytes;  // heads * sectors per track * 512
    std::uint8_t two_partitions;   // a boot partition below cylinder 1024
    std::uint8_t journal;          // root file system with a journal
};

// Cylinders above this cannot be reached by the boot loader's old BIOS
// calls, so such a disk gets a small boot partition at its start.
inline constexpr std::uint32_t last_bootable_cylinder = 0x3ff;
// Smaller disks are not worth the space a journal takes.
inline constexpr std::uint64_t journal_threshold_bytes = 41943040;

void clear_disk_record(disk_record& record);
void set_geometry(disk_record& record, std::uint32_t cylinders, std::uint32_t cylinder_bytes);

// The text shown to the user for a disk: its IDE place for the four IDE
// disks, else the device name itself.
[[nodiscard]] const char* disk_display_name(const char* name);
