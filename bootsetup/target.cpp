#include "bootsetup/target.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "base/programs.h"
#include "bootsetup/dots.h"
#include "bootsetup/setup_context.h"
#include "bootsetup/tree_archive.h"
#include "disk/boot_files.h"
#include "disk/format_disk.h"
#include "disk/mount_target.h"
#include "disk/partition_disk.h"
#include "disk/partition_name.h"

namespace {

// The old system's "/vesk/store", or null when there is none to keep. A
// disk without a system on it is not worth a message.
archive_chunk* read_old_configuration(const disk_record& disk) {
    if (!mount_target(disk.name, "/mnt", false)) return nullptr;
    archive_chunk* saved = nullptr;
    struct stat status;
    if (lstat("/mnt/vesk/store", &status) == 0) {
        start_dots("Reading old configuration...");
        saved = capture_tree("/mnt/vesk/store");
        stop_dots();
        if (saved == nullptr)
            std::printf("ERROR: couldn't keep config - probably not enough memory\n");
    }
    umount("/mnt/boot");
    umount("/mnt");
    return saved;
}

bool make_new_system(const disk_record& disk) {
    start_dots("Creating partition...");
    bool done = partition_disk(disk);
    stop_dots();
    if (!done) {
        std::printf("ERROR: could not create partitions\n");
        return false;
    }
    start_dots("Formatting disk...");
    done = format_disk(disk);
    stop_dots();
    if (!done) {
        std::printf("ERROR: could not format partitions\n");
        return false;
    }
    if (!mount_target(disk.name, "/mnt", true)) {
        std::printf("ERROR: could not mount filesystem\n");
        return false;
    }
    if (!write_lilo_conf(disk, "/mnt")) {
        std::printf("ERROR: could not create lilo.conf\n");
        return false;
    }
    if (!write_fstab(disk, "/mnt")) {
        std::printf("ERROR: could not create fstab\n");
        return false;
    }
    return true;
}

void make_base_directories() {
    static const char* const directories[][2] = {
        {"/mnt/proc", "/proc"}, {"/mnt/vesk", "/vesk"},       {"/mnt/vesk/etc", "/vesk/etc"},
        {"/mnt/var", "/var"},   {"/mnt/var/pdb", "/var/pdb"},
    };
    for (const auto& directory : directories) {
        if (mkdir(directory[0], 0755) != 0) std::perror(directory[1]);
    }
}

}  // namespace

bool prepare_target_disk(setup_context& context, bool keep) {
    archive_chunk* saved = keep ? read_old_configuration(context.target) : nullptr;
    if (!make_new_system(context.target)) {
        free_archive(saved);
        return false;
    }
    make_base_directories();
    if (saved != nullptr) {
        start_dots("Writing back old configuration...");
        bool restored = restore_tree(saved);
        stop_dots();
        if (!restored)
            std::printf(
                "ERROR: couldn't write old configuration - proboably not enough space on the "
                "disk\n");
    }
    return true;
}

void finish_installation(const setup_context& context) {
    // The new system decides what its post-install script does; its outcome
    // changes nothing here, and neither does that of the check.
    (void)run_program("/mnt", "/bin/bash", {"-c", "/etc/rc.d/rc.postinstall"});
    sync();
    umount("/mnt/boot");
    if (!context.target.two_partitions) {
        // The check needs a file system that nothing writes to.
        partition_name root(context.target.name, 1);
        if (mount(root.text, "/mnt", "ext3", MS_RDONLY | MS_REMOUNT, nullptr) == 0) {
            start_dots("Checking disk integrity...");
            (void)run_program("/mnt", "/sbin/fsck", {"-d", "-v"});
            stop_dots();
        }
    }
    umount("/mnt");
}
