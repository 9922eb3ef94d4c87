#pragma once

struct setup_context;

// Chooses the kind of installation from the command line and "/TYPE", runs
// its flow and sets setup_finished when the flow has returned.
void run_installation(setup_context& context, int argc, char** argv);
