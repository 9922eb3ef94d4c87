#include "disk/partition_disk.h"

#include <cstdint>
#include <cstring>

#include "base/programs.h"

namespace {

// The boot partition holds the kernel and the boot loader's files.
constexpr std::uint32_t boot_partition_bytes = 10485760;

std::uint32_t boot_cylinders(const disk_record& disk) {
    return static_cast<std::uint32_t>(
        (std::uint64_t{disk.cylinder_bytes} + boot_partition_bytes - 1) / disk.cylinder_bytes);
}

int count_partition_slots(const char* disk_name) {
    std::FILE* dump = open_program_output("/sbin/sfdisk", {"-d", "-uC", disk_name});
    if (dump == nullptr) return -1;
    int slots = 0;
    char line[256];
    while (std::fgets(line, sizeof line, dump) != nullptr) {
        if (std::strncmp(line, "/dev/", 5) == 0) ++slots;
    }
    int ignored = close_program(dump);
    (void)ignored;
    return slots;
}

}  // namespace

bool layout_fits(const disk_record& disk) {
    if (!disk.two_partitions) return true;
    return disk.cylinder_bytes != 0 && boot_cylinders(disk) < disk.cylinders;
}

void write_partition_table(std::FILE* tool, const disk_record& disk, int existing_slots) {
    int written = 1;
    if (disk.two_partitions) {
        const std::uint32_t boot = boot_cylinders(disk);
        std::fprintf(tool, "0,%u,83,*\n", boot);
        std::fprintf(tool, "%u,%u,83,*\n", boot, disk.cylinders - boot);
        written = 2;
    } else {
        std::fprintf(tool, "0,%u,83,*\n", disk.cylinders);
    }
    for (int slot = written; slot < existing_slots; ++slot) std::fputs("0,0,0\n", tool);
}

bool partition_disk(const disk_record& disk) {
    // An empty input would still make the tool write an empty table.
    if (!layout_fits(disk)) return false;
    const int slots = count_partition_slots(disk.name);
    if (slots < 0) return false;
    std::FILE* tool = open_program_input("/sbin/sfdisk", {"-q", "-uC", disk.name, ">null"});
    if (tool == nullptr) return false;
    write_partition_table(tool, disk, slots);
    int ignored = close_program(tool);
    (void)ignored;
    return true;
}
