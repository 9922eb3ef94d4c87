#include "disk/disk_record.h"

#include <cstring>

void clear_disk_record(disk_record& record) {
    std::memset(&record, 0, sizeof record);
}

void set_geometry(disk_record& record, std::uint32_t cylinders, std::uint32_t cylinder_bytes) {
    record.cylinders = cylinders;
    record.cylinder_bytes = cylinder_bytes;
    record.two_partitions = cylinders > last_bootable_cylinder ? 1 : 0;
    const std::uint64_t bytes = static_cast<std::uint64_t>(cylinders) * cylinder_bytes;
    record.journal = bytes > journal_threshold_bytes ? 1 : 0;
}

const char* disk_display_name(const char* name) {
    static const struct {
        const char* device;
        const char* text;
    } known[] = {
        {"/dev/hda", "IDE Primary master (disk C)"},
        {"/dev/hdb", "IDE Primary slave (disk D)"},
        {"/dev/hdc", "IDE Secondary master (disk E)"},
        {"/dev/hdd", "IDE Secondary slave (disk F)"},
    };
    for (const auto& entry : known) {
        if (std::strcmp(name, entry.device) == 0) return entry.text;
    }
    return name;
}
