#pragma once

#include <cstdint>

#include "base/buffer_base.h"

// Shows its reader the payload of the current part and nothing else: the end
// of the payload is the end of input. Unread payloads are skipped by seeking
// the source when it can, by reading when it cannot (a pipe).
class part_buffer : public buffer_base {
public:
    explicit part_buffer(buffer_base* source) : source_(source) {}

    // The magic of the 8-byte file header, or -1 when it is short.
    std::int64_t read_header();
    // Passes the rest of the current part and reads the next part header:
    // the type (0..65535), or -1.
    int advance();

    std::int64_t seek_off(std::int64_t offset, int direction, int which) override;
    std::int64_t seek_pos(std::int64_t position, int which) override;
    std::int64_t show_many() override;
    std::int64_t get_n(char* destination, std::int64_t count) override;
    int underflow() override;
    int uflow() override;
    int pback_fail(int c) override;

    // The length field plus 8, which no length field makes wrap.
    [[nodiscard]] std::uint64_t total_size() const { return total_size_; }
    [[nodiscard]] std::uint32_t payload_offset() const { return payload_offset_; }
    [[nodiscard]] std::uint32_t part_length() const { return length_; }
    [[nodiscard]] std::uint32_t remaining() const { return remaining_; }

private:
    // Reads and drops count bytes of the source; false when fewer came.
    bool discard(std::uint32_t count);
    buffer_base* source_;
    std::uint64_t total_size_ = 0;
    std::uint32_t payload_offset_ = 0;
    std::uint32_t length_ = 0;
    std::uint32_t remaining_ = 0;
};
