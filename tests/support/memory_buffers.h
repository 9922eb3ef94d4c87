#pragma once

#include <cstdint>
#include <string>

#include "base/buffer_base.h"

// Buffers over bytes in memory, for driving readers and writers without
// files. Attach them to an in_stream or out_stream as usual.

// Delivers a copy of the given bytes. A seekable source seeks like a file
// (positions past the end read as the end); one that is not refuses every
// seek, as a pipe does.
class memory_source : public buffer_base {
public:
    explicit memory_source(std::string bytes, bool seekable = true);

    std::int64_t seek_off(std::int64_t offset, int direction, int which) override;
    std::int64_t seek_pos(std::int64_t position, int which) override;
    std::int64_t get_n(char* destination, std::int64_t count) override;

    // Bytes handed out through get_n, the path by which whole blocks are read.
    [[nodiscard]] std::uint64_t delivered_by_get_n() const { return delivered_; }
    [[nodiscard]] std::int64_t position() const { return get_current() - get_begin(); }

private:
    std::string bytes_;
    bool seekable_;
    std::uint64_t delivered_ = 0;
};

// Collects everything written into it.
class memory_sink : public buffer_base {
public:
    std::int64_t put_n(const char* source, std::int64_t count) override;
    int overflow(int c) override;

    [[nodiscard]] const std::string& bytes() const { return bytes_; }

private:
    std::string bytes_;
};
