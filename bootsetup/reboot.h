#pragma once

// Only the first process of a PID namespace, or the worker it forked, may
// restart the machine; anything else was started by hand and must not take
// the machine down with it.
[[nodiscard]] bool may_reboot();

// Restarts at once. A process that may not reboot prints
// "not the init process: reboot skipped" and exits with status 0 instead.
// Returns only when the restart call fails.
void reboot_machine();

// The end of every run: restores the console, prints "Rebooting..." and
// reboots. Returns 0 when the restart call fails.
int finish_and_reboot();
