#pragma once

struct setup_context;

// Chooses the kind of installation ("-hdd-install" among the arguments, else
// the first line of "/TYPE"), runs its flow, unmounts the media and the new
// system, sets setup_finished and, where the kind asks for it, waits for
// Enter before the caller reboots.
void run_installation(setup_context& context, int argc, char** argv);
