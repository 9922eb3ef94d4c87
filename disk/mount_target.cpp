#include "disk/mount_target.h"

#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "disk/partition_name.h"

namespace {

bool mount_partition(const char* disk, int number, const char* type, const char* mount_point) {
    const partition_name partition(disk, number);
    return mount(partition.text, mount_point, type, 0, nullptr) == 0;
}

}  // namespace

bool mount_target(const char* disk, const char* mount_point, bool with_boot) {
    // A two-partition system has its root on partition 2; when that does
    // not mount, partition 1 may be a whole single-partition system.
    if (!mount_partition(disk, 2, "ext3", mount_point)) {
        if (mount_partition(disk, 1, "ext3", mount_point)) return true;
        if (!mount_partition(disk, 2, "ext2", mount_point)) {
            return mount_partition(disk, 1, "ext2", mount_point);
        }
    }
    if (!with_boot) return true;
    char boot[4096];
    std::snprintf(boot, sizeof boot, "%s/boot", mount_point);
    if (mkdir(boot, 0755) != 0 && errno != EEXIST) {
        umount(mount_point);
        return false;
    }
    if (mount_partition(disk, 1, "ext2", boot)) return true;
    umount(mount_point);
    return false;
}
