#include "base/allocation.h"

#include <cstdlib>

namespace {

allocation_hook current_hook = nullptr;
void* hook_user = nullptr;

}  // namespace

void* allocate_bytes(std::size_t bytes) {
    if (current_hook && !current_hook(bytes, hook_user)) std::abort();
    // malloc(0) may legally return null, which must not read as a failure.
    void* storage = std::malloc(bytes ? bytes : 1);
    if (!storage) std::abort();
    return storage;
}

void release_bytes(void* storage) {
    std::free(storage);
}

void set_allocation_hook(allocation_hook hook, void* user) {
    current_hook = hook;
    hook_user = hook ? user : nullptr;
}
