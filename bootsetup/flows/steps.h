#pragma once

class package_menu;
struct setup_context;

// The steps the installation flows share, in the order a flow takes them.

// Takes the console into raw mode and clears it for "Welcome to Tarnvale
// Router Software <kind>".
void show_banner(const char* kind);

// The volumes a package comes from are mounted on "/floppy".
inline constexpr const char* const media_devices[] = {"/dev/hda", "/dev/hdb", "/dev/hdc",
                                                      "/dev/hdd"};

// Mounts the first of media_devices that holds a file system of type on
// "/floppy"; returns it, or null when none does.
const char* mount_media(const char* type, unsigned long flags);

// Leaves the menu with a local installation, or false when the user
// cancelled. A remote installation chosen in the menu runs from here and
// brings the menu back; when remote_failure_ends, one that fails ends the
// choosing with false.
[[nodiscard]] bool choose_packages(package_menu& menu, bool remote_failure_ends);

// Finds the first hard disk, makes it the context's target and puts the boot
// program into its master boot record. False (with a message) when the
// machine has no hard disk.
[[nodiscard]] bool find_target_disk(setup_context& context);

// The two questions of the local installations.
[[nodiscard]] bool ask_keep_config();
[[nodiscard]] bool confirm_erase();
