#pragma once

#include <cstdio>

// The device of partition number of a disk: the disk's name with the
// number appended, as the kernel names IDE partitions.
struct partition_name {
    char text[48];
    partition_name(const char* disk, int number) {
        std::snprintf(text, sizeof text, "%s%d", disk, number);
    }
};
