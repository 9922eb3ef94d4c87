#pragma once

#include "disk/disk_record.h"

// The boot loader's configuration "<root>/etc/lilo.conf" for the disk's
// layout: the loader goes into partition 1, the kernel's root is the root
// partition. False when the file cannot be opened for writing.
[[nodiscard]] bool write_lilo_conf(const disk_record& disk, const char* root);

// The file system table "<root>/etc/fstab"; with a journal also the empty
// marker "<root>/.nofsck". False when the table cannot be opened for
// writing; the marker does not count.
[[nodiscard]] bool write_fstab(const disk_record& disk, const char* root);
