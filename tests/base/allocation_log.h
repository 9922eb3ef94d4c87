#pragma once

#include <cstddef>
#include <vector>

#include "base/allocation.h"

// Records the size of every allocation the foundation makes while it lives,
// so tests can watch growth without looking at private fields.
class allocation_log {
public:
    allocation_log() { set_allocation_hook(&record, this); }
    ~allocation_log() { set_allocation_hook(nullptr, nullptr); }
    allocation_log(const allocation_log&) = delete;
    allocation_log& operator=(const allocation_log&) = delete;

    // The sizes recorded since the last call.
    std::vector<std::size_t> take() {
        std::vector<std::size_t> taken;
        taken.swap(sizes_);
        return taken;
    }

private:
    static bool record(std::size_t bytes, void* self) {
        static_cast<allocation_log*>(self)->sizes_.push_back(bytes);
        return true;
    }
    std::vector<std::size_t> sizes_;
};
