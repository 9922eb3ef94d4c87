#pragma once

// SIGINT: until setup_finished is set, unmounts, waits for Enter and
// reboots; it never returns then.
void abort_handler(int signal_number);
// SIGCHLD: collects one ended child.
void child_reaper(int signal_number);

// SIGINT to abort_handler, SIGPIPE ignored (a write to an installer that has
// ended fails instead of ending the setup), SIGCHLD to child_reaper with
// interrupted calls restarted.
void install_signal_handlers();
