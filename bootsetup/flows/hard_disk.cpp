#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "base/array.h"
#include "base/byte_string.h"
#include "base/posix_io.h"
#include "base/programs.h"
#include "bootsetup/dots.h"
#include "bootsetup/flows/flows.h"
#include "bootsetup/flows/installer_pipe.h"
#include "bootsetup/flows/steps.h"
#include "bootsetup/install_order.h"
#include "bootsetup/package_menu.h"
#include "bootsetup/target.h"
#include "disk/boot_sector.h"

namespace {

// Everything the installation needs from the installation disk, read into
// memory before that disk is written to or searched for as the target.
struct hard_disk_media {
    install_order order;
    array<byte_string> packages;  // in install order
    byte_string configuration;
    unsigned char boot_sector[boot_sector_bytes] = {};
};

bool read_whole_file(const char* path, byte_string& contents) {
    int file = open(path, O_RDONLY);
    if (file < 0) return false;
    struct stat status;
    bool good = fstat(file, &status) == 0;
    if (good) {
        contents.resize(static_cast<std::size_t>(status.st_size));
        good = read_all(file, contents.data(), contents.length()) ==
               static_cast<ssize_t>(contents.length());
    }
    close(file);
    return good;
}

bool read_packages(hard_disk_media& media) {
    byte_string path;
    byte_string name;
    while (next_package_path(media.order, path)) {
        current_package_name(media.order, name);
        std::printf("Reading: %s...", name.text());
        start_dots("");
        byte_string& contents = media.packages.push_back(byte_string());
        bool good = read_whole_file(path.text(), contents);
        stop_dots();
        if (!good) {
            std::printf("\nFATAL ERROR: could not read file %s\n", path.text());
            return false;
        }
    }
    if (!read_whole_file("/floppy/autorun.scr", media.configuration)) {
        std::printf("\nFATAL ERROR: could not read configuration\n");
        return false;
    }
    media.order.position = 0;
    return true;
}

bool read_boot_sector_file(hard_disk_media& media) {
    int file = open("/floppy/mbr", O_RDONLY);
    if (file < 0) {
        std::printf("\nFATAL ERROR: Couldn't open mbr file\n");
        return false;
    }
    const ssize_t got = read_all(file, media.boot_sector, sizeof media.boot_sector);
    close(file);
    if (got != static_cast<ssize_t>(sizeof media.boot_sector)) {
        std::printf("\nFATAL ERROR: Couldn't read mbr file\n");
        return false;
    }
    return true;
}

bool write_installation_disk_sector(const char* device, const hard_disk_media& media) {
    int disk = open(device, O_WRONLY);
    if (disk < 0) {
        std::printf("\nFATAL ERROR: Couldn't open disk\n");
        return false;
    }
    const bool written = write_all(disk, media.boot_sector, sizeof media.boot_sector);
    close(disk);
    if (!written) {
        std::printf("\nFATAL ERROR: Couldn't write to disk\n");
        return false;
    }
    return true;
}

bool install_packages(hard_disk_media& media) {
    byte_string path;
    byte_string name;
    for (std::size_t i = 0; next_package_path(media.order, path); ++i) {
        current_package_name(media.order, name);
        std::FILE* installer = start_package_installer();
        if (installer == nullptr) {
            std::printf("\nFATAL ERROR: Couldn't start install\n");
            return false;
        }
        const byte_string& contents = media.packages[i];
        for (std::size_t done = 0; done < contents.length(); done += installer_piece_bytes) {
            std::size_t piece = contents.length() - done;
            if (piece > installer_piece_bytes) piece = installer_piece_bytes;
            if (!feed_installer(installer, contents.data() + done, piece)) {
                std::printf("\n");
                (void)close_program(installer);
                return false;
            }
        }
        (void)close_program(installer);
        media.packages[i] = byte_string();
    }
    return true;
}

// An empty configuration is taken as it is: the new system gets an empty
// script rather than a failed installation.
bool write_configuration(const hard_disk_media& media) {
    int script = open("/mnt/autorun.scr", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (script < 0) {
        std::printf("\nFATAL ERROR: couldn't make script\n");
        return false;
    }
    const byte_string& text = media.configuration;
    const bool written = write_all(script, text.data(), text.length());
    close(script);
    if (!written) {
        std::printf("\nFATAL ERROR: Writing configuration failed\n");
        return false;
    }
    return true;
}

bool install_from_media(setup_context& context, const char* device, bool choose,
                        const package_list& list) {
    hard_disk_media media;
    build_install_order(media.order, list);
    if (!read_packages(media)) return false;
    if (!choose && !read_boot_sector_file(media)) return false;
    umount("/floppy");
    if (!choose && !write_installation_disk_sector(device, media)) return false;
    if (!find_target_disk(context)) return false;
    if (!prepare_target_disk(context, false)) return false;
    std::printf("\n");
    if (!install_packages(media) || !write_configuration(media)) return false;
    finish_installation(context);
    std::printf("\nSoftware installed.\n");
    std::fflush(stdout);
    sleep(2);
    return true;
}

bool can_read(const char* path) {
    int file = open(path, O_RDONLY);
    if (file < 0) return false;
    close(file);
    return true;
}

}  // namespace

bool hard_disk_installation(setup_context& context) {
    show_banner("hard disk installation");
    const char* device = mount_media("vfat", 0);
    if (device == nullptr) {
        std::printf("\nFATAL ERROR: No hard disk found\n");
        return false;
    }
    // Without "CHOOSE" every package goes in and nothing is asked.
    if (can_read("/floppy/CHOOSE")) {
        package_menu menu("/floppy");
        if (!load_packages(menu.list, false) || !choose_packages(menu, true)) return false;
        return install_from_media(context, device, true, menu.list);
    }
    package_list list;
    list.directory = "/floppy";
    if (!load_packages(list, true)) return false;
    return install_from_media(context, device, false, list);
}
