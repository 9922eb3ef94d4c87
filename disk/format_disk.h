#pragma once

#include "disk/disk_record.h"

// Creates the file systems with "/sbin/mke2fs": a boot partition is always
// plain ext2, the root has a journal exactly when the disk's journal flag is
// set. True when every run ended with status 0.
[[nodiscard]] bool format_disk(const disk_record& disk);
