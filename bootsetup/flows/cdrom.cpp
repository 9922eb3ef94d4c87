#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "base/byte_string.h"
#include "base/posix_io.h"
#include "base/programs.h"
#include "bootsetup/flows/flows.h"
#include "bootsetup/flows/installer_pipe.h"
#include "bootsetup/flows/steps.h"
#include "bootsetup/install_order.h"
#include "bootsetup/package_menu.h"
#include "bootsetup/target.h"

namespace {

// MS_MGC_VAL in the upper half, as the old mount interface wants it.
constexpr unsigned long cdrom_mount_flags = 0xC0ED0001;

// Copies the package file at path into a new installer and waits for it.
bool install_package_file(const char* path) {
    std::FILE* installer = start_package_installer();
    if (installer == nullptr) {
        std::printf("\nFATAL ERROR: couldn't start install\n");
        return false;
    }
    // The installer must not be left waiting for a package with "/mnt" in
    // use: the dispatch still has to unmount it.
    struct stat status;
    if (stat(path, &status) != 0) {
        (void)close_program(installer);
        std::printf("\nFATAL ERROR: corrupted installation CD-ROM\n");
        return false;
    }
    int file = open(path, O_RDONLY);
    if (file < 0) {
        (void)close_program(installer);
        std::printf("\nFATAL ERROR: corrupted CD-ROM\n");
        return false;
    }
    unsigned char buffer[installer_piece_bytes];
    off_t left = status.st_size;
    bool good = true;
    while (good && left > 0) {
        std::size_t piece = left < static_cast<off_t>(sizeof buffer)
                                ? static_cast<std::size_t>(left)
                                : sizeof buffer;
        if (read_all(file, buffer, piece) != static_cast<ssize_t>(piece)) {
            (void)close_program(installer);
            std::printf("\nFATAL ERROR: corrupted CD-ROM\n");
            close(file);
            return false;
        }
        if (!feed_installer(installer, buffer, piece)) {
            std::printf("\n");
            good = false;
        }
        left -= static_cast<off_t>(piece);
    }
    (void)close_program(installer);
    close(file);
    return good;
}

bool install_packages(const package_list& list) {
    install_order order;
    build_install_order(order, list);
    byte_string path;
    byte_string name;
    while (next_package_path(order, path)) {
        current_package_name(order, name);
        if (!install_package_file(path.text())) return false;
    }
    return true;
}

}  // namespace

bool cdrom_installation(setup_context& context) {
    if (mount_media("iso9660", cdrom_mount_flags) == nullptr) {
        std::printf("\nFATAL ERROR: no CD-ROM found\n");
        return false;
    }
    package_menu menu("/floppy");
    if (!load_packages(menu.list, false) || !choose_packages(menu, false)) return false;
    bool keep = ask_keep_config();
    if (!confirm_erase()) return false;
    if (!prepare_target_disk(context, keep)) return false;
    std::printf("\n");
    if (!install_packages(menu.list)) return false;
    int marker = open("/mnt/CDINSTALL", O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (marker >= 0) close(marker);
    finish_installation(context);
    std::printf("\nSoftware installed.\n");
    return true;
}
