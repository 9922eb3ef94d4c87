#pragma once

#include <zlib.h>

#include <cstdint>

#include "base/buffer_base.h"

// The writing counterpart: bytes put into it are deflated into the target
// buffer (for a file archive, the package writer's buffer).
class deflate_buffer : public buffer_base {
public:
    static constexpr int area_size = 4096;
    explicit deflate_buffer(buffer_base* target);
    ~deflate_buffer() override;

    int sync() override;
    // Large writes go to zlib straight from the caller's bytes.
    std::int64_t put_n(const char* source, std::int64_t count) override;
    int overflow(int c) override;
    // Flushes and ends the zlib stream; true when every byte reached the target.
    [[nodiscard]] bool finish();

private:
    [[nodiscard]] bool flush_pending();
    // Runs deflate over the pending zlib input and hands every output to the
    // target.
    [[nodiscard]] bool hand_over(int flush_mode);
    buffer_base* target_;
    z_stream zlib_{};
    bool zlib_ready_ = false;
    bool finished_ = false;
    bool failed_ = false;
    char area_[area_size];
    char output_[area_size];
};
