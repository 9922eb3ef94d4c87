#pragma once

// Each command takes its own name as argv[0] and returns the exit status.
int run_build(int argc, char** argv);
int run_bundle(int argc, char** argv);
int run_info(int argc, char** argv);
int run_list(int argc, char** argv);
int run_verify(int argc, char** argv);
int run_floppies(int argc, char** argv);
