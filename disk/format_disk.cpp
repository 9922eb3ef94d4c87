#include "disk/format_disk.h"

#include "base/programs.h"
#include "disk/partition_name.h"

namespace {

bool make_file_system(const char* disk, int number, bool with_journal) {
    const partition_name partition(disk, number);
    if (with_journal) return run_program(nullptr, "/sbin/mke2fs", {"-j", partition.text}) == 0;
    return run_program(nullptr, "/sbin/mke2fs", {partition.text}) == 0;
}

}  // namespace

bool format_disk(const disk_record& disk) {
    const bool journal = disk.journal != 0;
    if (!disk.two_partitions) return make_file_system(disk.name, 1, journal);
    if (!make_file_system(disk.name, 1, false)) return false;
    return make_file_system(disk.name, 2, journal);
}
