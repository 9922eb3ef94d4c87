#include "bootsetup/dots.h"

#include <gtest/gtest.h>
#include <time.h>

#include <string>

namespace {

// Sleeps the whole time even though the dots' alarm interrupts the sleep.
void sleep_through(double seconds) {
    timespec rest = {static_cast<time_t>(seconds),
                     static_cast<long>((seconds - static_cast<long>(seconds)) * 1e9)};
    while (nanosleep(&rest, &rest) != 0) {
    }
}

TEST(dots, print_one_dot_a_second_until_stopped) {
    testing::internal::CaptureStdout();
    start_dots("Formatting disk...");
    sleep_through(2.3);
    stop_dots();
    // The alarm armed by the second dot is still pending here.
    sleep_through(0.9);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Formatting disk.....\n");
}

}  // namespace
