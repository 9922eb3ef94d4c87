#include "bootsetup/flows/steps.h"

#include <sys/mount.h>

#include <cstdio>

#include "bootsetup/dots.h"
#include "bootsetup/flows/network.h"
#include "bootsetup/package_menu.h"
#include "bootsetup/prompts.h"
#include "bootsetup/setup_context.h"
#include "bootsetup/terminal.h"
#include "disk/boot_sector.h"
#include "disk/probe_disks.h"

void show_banner(const char* kind) {
    setup_console->enter_raw_mode();
    std::printf("\033[?25l");
    std::printf("\033[H\033[2J");
    std::printf("Welcome to Tarnvale Router Software %s\n", kind);
    std::printf("Press Ctrl-Alt-Delete to abort\n");
}

const char* mount_media(const char* type, unsigned long flags) {
    for (const char* device : media_devices) {
        if (mount(device, "/floppy", type, flags, nullptr) == 0) return device;
    }
    return nullptr;
}

bool choose_packages(package_menu& menu, bool remote_failure_ends) {
    for (;;) {
        if (!run_package_menu(menu)) {
            std::printf("Installation canceled\n");
            return false;
        }
        if (!menu_wants_remote(menu)) return true;
        if (install_remote_router(menu.list) == remote_outcome::failed && remote_failure_ends) {
            return false;
        }
    }
}

bool find_target_disk(setup_context& context) {
    std::printf("\n");
    start_dots("Looking for harddrives...");
    const disk_record* disks = probe_disks();
    stop_dots();
    if (disks == nullptr) {
        std::printf("\nFATAL ERROR: no harddrives found\n");
        return false;
    }
    context.target = disks[0];
    std::printf("\n");
    std::printf("Found harddrive as %s\n", disk_display_name(context.target.name));
    install_boot_code(context.target);
    return true;
}

bool ask_keep_config() {
    bool keep = ask_yes_no("Do you want to keep old configuration? ");
    std::printf("\n");
    return keep;
}

bool confirm_erase() {
    std::printf("Warning: all data on the disk will be erased!\n");
    std::printf("\n");
    bool erase = ask_yes_no("Continue?");
    if (erase) std::printf("\n");
    return erase;
}
