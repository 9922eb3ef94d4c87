#pragma once

#include <zlib.h>

#include <cstdint>

#include "base/buffer_base.h"

// Delivers the inflated bytes of a zlib stream read from a source buffer
// (for a file archive, the package reader's part, so it stops at the end of
// the payload). A corrupt stream reads as its end.
class inflate_buffer : public buffer_base {
public:
    static constexpr int area_size = 4096;
    explicit inflate_buffer(buffer_base* source);
    ~inflate_buffer() override;

    // Forward only, by reading; positions count inflated bytes.
    std::int64_t seek_off(std::int64_t offset, int direction, int which) override;
    std::int64_t seek_pos(std::int64_t position, int which) override;
    int underflow() override;

    [[nodiscard]] std::uint32_t inflated() const { return inflated_; }
    // True once zlib reported the end of the stream (a whole archive).
    [[nodiscard]] bool finished() const { return finished_; }
    // True when zlib reported corrupt data.
    [[nodiscard]] bool corrupt() const { return corrupt_; }
    // Compressed bytes zlib has taken so far: once finished, the length of
    // the stream, whatever follows it in the source.
    [[nodiscard]] std::uint64_t compressed_taken() const { return zlib_.total_in; }

private:
    // Feeds zlib until it produces output; the bytes produced, or -1.
    std::int64_t inflate_some();
    buffer_base* source_;
    z_stream zlib_{};
    bool zlib_ready_ = false;
    bool finished_ = false;
    bool corrupt_ = false;
    std::uint32_t inflated_ = 0;
    char input_[area_size];
    // The put-back cell, then the output area, so that the last byte of one
    // area can still be pushed back after a refill.
    char output_[1 + area_size];
};
