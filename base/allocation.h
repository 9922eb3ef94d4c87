#pragma once

#include <cstddef>

// Every container of the foundation allocates through these two calls, so
// that a failed allocation ends the program in one place and tests can watch
// (or refuse) each request through the hook.

// Returns storage for bytes; never null: an allocation that cannot be had
// ends the program with abort.
void* allocate_bytes(std::size_t bytes);
void release_bytes(void* storage);

// Called before every allocation with its size. Returning false makes the
// allocation fail (and so the program abort). Null removes the hook.
using allocation_hook = bool (*)(std::size_t bytes, void* user);
void set_allocation_hook(allocation_hook hook, void* user);
