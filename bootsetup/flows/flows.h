#pragma once

struct setup_context;

// The installation flows of the local media; true when the software was
// installed. Each prints its own messages and leaves "/floppy" and "/mnt"
// for the dispatch to unmount.
[[nodiscard]] bool cdrom_installation(setup_context& context);
[[nodiscard]] bool hard_disk_installation(setup_context& context);
[[nodiscard]] bool floppy_installation(setup_context& context);

// The floppy set's package stream through one quiet package installer.
[[nodiscard]] bool install_floppy_set(setup_context& context);
