#pragma once

// Whether this process was forked by split_off_worker in the first process
// of its PID namespace, which then only waits for it.
extern bool forked_by_init;

// When the program name contains "init", forks: the parent waits for the
// child and gets false with the child's raw wait status (or -1) in
// parent_result; the child gets true. Without "init" in the name, or when
// fork fails, the process itself goes on (true).
[[nodiscard]] bool split_off_worker(const char* program_name, int& parent_result);
