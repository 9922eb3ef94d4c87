#include "disk/boot_files.h"

#include <sys/stat.h>

#include <cstdio>

#include "base/byte_string.h"

namespace {

// Opens "<root>/etc/<name>" for writing, creating "<root>/etc" first.
std::FILE* create_etc_file(const char* root, const char* name, byte_string& path) {
    byte_string directory(root);
    directory.append("/etc");
    mkdir(directory.text(), 0755);
    path = directory;
    path.append("/").append(name);
    return std::fopen(path.text(), "w");
}

void finish_file(std::FILE* file, const byte_string& path) {
    std::fclose(file);
    chmod(path.text(), 0644);
}

}  // namespace

bool write_lilo_conf(const disk_record& disk, const char* root) {
    byte_string path;
    std::FILE* file = create_etc_file(root, "lilo.conf", path);
    if (file == nullptr) return false;
    std::fprintf(file, "boot=%s1\n", disk.name);
    std::fputs("map=/boot/map\n", file);
    std::fputs("install=/boot/boot.b\n", file);
    std::fputs("lba32\n", file);
    std::fputs("image=/boot/vmlinuz\n", file);
    std::fputs("  label=System\n", file);
    std::fprintf(file, "  root=%s%d\n", disk.name, disk.two_partitions ? 2 : 1);
    std::fputs("  read-only\n", file);
    finish_file(file, path);
    return true;
}

bool write_fstab(const disk_record& disk, const char* root) {
    byte_string path;
    std::FILE* file = create_etc_file(root, "fstab", path);
    if (file == nullptr) return false;
    const char* root_type = disk.journal ? "ext3" : "ext2";
    if (disk.two_partitions) {
        std::fprintf(file, "%s2  /     %s defaults 1 1\n", disk.name, root_type);
        std::fprintf(file, "%s1  /boot ext2 defaults 1 2\n", disk.name);
    } else {
        std::fprintf(file, "%s1  /     %s defaults 1 1\n", disk.name, root_type);
    }
    std::fputs("none /proc proc defaults 0 0\n", file);
    std::fputs("none /dev/pts devpts gid=5,mode=620 0 0\n", file);
    finish_file(file, path);
    if (disk.journal) {
        // A journalled root needs no check at boot; the marker tells the
        // new system's start-up scripts so.
        byte_string marker(root);
        marker.append("/.nofsck");
        std::FILE* empty = std::fopen(marker.text(), "w");
        if (empty != nullptr) std::fclose(empty);
    }
    return true;
}
