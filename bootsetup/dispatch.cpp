#include "bootsetup/dispatch.h"

// PLACEHOLDER, to be replaced by the installation flows: it installs
// nothing and returns at once, so a run goes straight to the reboot.
void run_installation(setup_context&, int, char**) {}
