#include "disk/probe_disks.h"

#include <cstdio>
#include <cstring>

#include "base/programs.h"

bool parse_geometry_line(const char* line, disk_record& record) {
    if (std::strncmp(line, "/dev/", 5) != 0) return false;
    char device[128];
    unsigned cylinders = 0;
    unsigned heads = 0;
    unsigned sectors = 0;
    if (std::sscanf(line, "%127s %u %*s %u %*s %u", device, &cylinders, &heads, &sectors) != 4) {
        return false;
    }
    std::size_t length = std::strlen(device);
    if (length > 0 && device[length - 1] == ':') device[--length] = '\0';
    clear_disk_record(record);
    // Cut to fit, the last byte staying NUL.
    std::snprintf(record.name, sizeof record.name, "%.31s", device);
    set_geometry(record, cylinders, heads * sectors * 512u);
    return true;
}

disk_record* probe_disks() {
    static disk_record table[max_probed_disks];
    for (disk_record& record : table) clear_disk_record(record);
    std::FILE* listing = open_program_output("/sbin/sfdisk", {"-g"});
    if (listing == nullptr) return nullptr;
    int found = 0;
    char line[128];
    while (found < max_probed_disks && std::fgets(line, sizeof line, listing) != nullptr) {
        if (parse_geometry_line(line, table[found])) ++found;
    }
    int ignored = close_program(listing);
    (void)ignored;
    return found > 0 ? table : nullptr;
}
