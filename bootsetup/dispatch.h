#pragma once

struct setup_context;

// Chooses the kind of installation ("-hdd-install" among the arguments, else
// the first line of "/TYPE"), runs its flow, unmounts the media and the new
// system, sets setup_finished and, where the kind asks for it, waits for
// Enter before the caller reboots.
void run_installation(setup_context& context, int argc, char** argv);

// Takes the console into raw mode and clears it for "Welcome to Tarnvale
// Router Software <kind>".
void show_banner(const char* kind);

// Finds the first hard disk, makes it the context's target and puts the boot
// program into its master boot record. False (with a message) when the
// machine has no hard disk.
[[nodiscard]] bool find_target_disk(setup_context& context);

// The two questions of the local installations.
[[nodiscard]] bool ask_keep_config();
[[nodiscard]] bool confirm_erase();
