#pragma once

// Null-terminated lists of kernel module names, loaded in this order.
// base_modules: the media drivers, loaded at start-up.
extern const char* const base_modules[];
// network_modules: the Ethernet drivers for an installation over the network.
extern const char* const network_modules[];

// Runs "/sbin/insmod NAME" for every name of the list. A module that is
// missing or already loaded is no reason to stop, so results are ignored.
void load_modules(const char* const* list);
