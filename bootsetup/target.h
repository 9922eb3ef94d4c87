#pragma once

struct setup_context;

// Partitions and formats the context's target disk and mounts the new system
// on "/mnt" (and "/mnt/boot"), with "lilo.conf", "fstab" and the base
// directories in it. With keep, the old "/vesk/store" of the disk is carried
// into the new system. On false a message has been printed.
[[nodiscard]] bool prepare_target_disk(setup_context& context, bool keep);

// Runs the new system's post-install script, checks a single-partition file
// system and unmounts the new system.
void finish_installation(const setup_context& context);
