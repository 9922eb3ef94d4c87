#include "base/standard_streams.h"

#include <gtest/gtest.h>

#include "base/file_buffers.h"

namespace {

// Static constructors of other units may already write to the console, so
// the streams must be ready before any of them runs.
struct early_user {
    early_user() {
        ready =
            console_out.buffer() != nullptr && console_out.state() == 0 && console_in.state() == 0;
    }
    bool ready = false;
};
early_user early;

int descriptor_of(const stream_base& stream) {
    if (auto* in = dynamic_cast<file_in_buffer*>(stream.buffer())) return in->descriptor();
    if (auto* out = dynamic_cast<file_out_buffer*>(stream.buffer())) return out->descriptor();
    return -2;
}

TEST(standard_streams, exist_before_static_constructors_run) {
    EXPECT_TRUE(early.ready);
    EXPECT_EQ(descriptor_of(console_in), 0);
    EXPECT_EQ(descriptor_of(console_out), 1);
    EXPECT_EQ(descriptor_of(console_err), 2);
}

TEST(standard_streams, output_waits_in_the_buffer_until_flushed) {
    console_err << "pending";
    EXPECT_EQ(console_err.buffer()->put_current() - console_err.buffer()->put_begin(), 7);
    console_err.write("\r       \r", 9).flush();
    EXPECT_EQ(console_err.buffer()->put_current(), console_err.buffer()->put_begin());
}

}  // namespace
