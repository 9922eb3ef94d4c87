#pragma once

// Mounts the system on disk (a whole-disk device name) on mount_point: the
// root is partition 2 when there is one, else partition 1, as ext3 or ext2;
// with with_boot a two-partition system also gets partition 1 on
// "<mount_point>/boot". True when everything asked for is mounted; a root
// whose boot partition does not mount is unmounted again.
[[nodiscard]] bool mount_target(const char* disk, const char* mount_point, bool with_boot);
