#include "base/allocation.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>

#include "base/byte_string.h"

namespace {

bool refuse(std::size_t, void*) {
    return false;
}

bool refuse_large(std::size_t bytes, void*) {
    return bytes < 100;
}

}  // namespace

TEST(allocation_DeathTest, FailedAllocationAborts) {
    EXPECT_EXIT(
        {
            set_allocation_hook(&refuse, nullptr);
            (void)allocate_bytes(16);
        },
        testing::KilledBySignal(SIGABRT), "");
    // A container never sees the failure: its growth ends the program.
    EXPECT_EXIT(
        {
            set_allocation_hook(&refuse_large, nullptr);
            byte_string text(50, 'x');
            text.append(100, 'y');
        },
        testing::KilledBySignal(SIGABRT), "");
#ifndef __SANITIZE_ADDRESS__
    // The address sanitizer reports an impossible size itself instead.
    EXPECT_EXIT((void)allocate_bytes(SIZE_MAX - 64), testing::KilledBySignal(SIGABRT), "");
#endif
}

TEST(allocation, ZeroBytesIsStillStorage) {
    void* storage = allocate_bytes(0);
    EXPECT_NE(storage, nullptr);
    release_bytes(storage);
    release_bytes(nullptr);
}
