#include "disk/boot_sector.h"

#include <cstdio>
#include <cstring>

bool read_boot_sector(const char* device, unsigned char* sector) {
    std::FILE* disk = std::fopen(device, "r");
    if (disk == nullptr) {
        std::perror("could not open MBR");
        return false;
    }
    const bool whole = std::fread(sector, boot_sector_bytes, 1, disk) == 1;
    if (!whole) std::perror("could not read MBR");
    std::fclose(disk);
    return whole;
}

bool write_boot_sector(const char* device, const unsigned char* sector) {
    // Opened for update, not created or truncated: the device must exist,
    // and everything after sector 0 stays as it is even where the disk is
    // an image file.
    std::FILE* disk = std::fopen(device, "r+");
    if (disk == nullptr) {
        std::perror("could not open MBR");
        return false;
    }
    bool whole = std::fwrite(sector, boot_sector_bytes, 1, disk) == 1;
    whole = std::fflush(disk) == 0 && whole;
    if (!whole) std::perror("could not write MBR");
    std::fclose(disk);
    return whole;
}

void install_boot_code(const disk_record& disk) {
    unsigned char sector[boot_sector_bytes];
    if (!read_boot_sector(disk.name, sector)) return;
    std::memcpy(sector, boot_code_image, boot_code_bytes);
    std::memset(sector + boot_code_bytes, 0, partition_table_offset - boot_code_bytes);
    (void)write_boot_sector(disk.name, sector);  // reports its own failure
}
