#pragma once

#include <cstdio>

#include "disk/disk_record.h"

// Lays out the partitions of the disk with "/sbin/sfdisk": partition 1 from
// cylinder 0, and with two_partitions a boot partition of at least 10 MiB
// followed by the root. True when the tool could be started for both of its
// runs; whether it succeeded shows when the partitions are formatted. A disk
// whose layout does not fit is left alone and gives false.
[[nodiscard]] bool partition_disk(const disk_record& disk);

// Whether the disk's geometry leaves room for the layout: a two-partition
// disk needs bytes per cylinder and more cylinders than its boot partition.
[[nodiscard]] bool layout_fits(const disk_record& disk);

// The partitioning tool's input for a disk whose layout fits and which had
// existing_slots partition lines in its dump.
void write_partition_table(std::FILE* tool, const disk_record& disk, int existing_slots);
