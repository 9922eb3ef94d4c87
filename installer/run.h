#pragma once

// One run of the installer, from the arguments to the exit status.
[[nodiscard]] int run_installer(int argc, const char* const* argv);
