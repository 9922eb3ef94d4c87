#pragma once

#include "disk/disk_record.h"

inline constexpr int max_probed_disks = 4;

// Asks "/sbin/sfdisk -g" for the hard disks. Returns a table of
// max_probed_disks records, filled from the first on, or null when no disk
// was found. The table lives for the whole run and each call refills it;
// records past the disks found are cleared.
[[nodiscard]] disk_record* probe_disks();

// One line of the geometry listing, "/dev/hda: 1024 cylinders, 16 heads,
// 63 sectors/track", into record. False for any other line.
[[nodiscard]] bool parse_geometry_line(const char* line, disk_record& record);
