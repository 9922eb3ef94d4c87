#pragma once

#include <cstdint>

#include "base/buffer_base.h"

// Input buffer over a descriptor it does not own. One put-back byte sits
// directly before the 4096-byte area, so a byte read before a refill can
// still be pushed back. Requests of 1024 bytes or more bypass the area.
class file_in_buffer : public buffer_base {
public:
    static constexpr int area_size = 4096;
    explicit file_in_buffer(int descriptor);

    std::int64_t seek_off(std::int64_t offset, int direction, int which) override;
    std::int64_t seek_pos(std::int64_t position, int which) override;
    std::int64_t get_n(char* destination, std::int64_t count) override;
    int underflow() override;

    [[nodiscard]] int descriptor() const { return descriptor_; }
    // Called when the owner closes the descriptor, so that a number the
    // system hands out again is never read through this buffer.
    void release_descriptor() { descriptor_ = -1; }

private:
    std::int64_t read_some(char* destination, std::int64_t count);
    // Leaves only the put-back byte behind current, as after a read that
    // bypassed the area.
    void empty_get_area();
    char* area() { return storage_ + 1; }
    int descriptor_;
    // The put-back byte, then the area, in one array so begin may point one
    // byte before the area.
    char storage_[1 + area_size];
};

// Output buffer over a descriptor it does not own. The put area is the first
// 4095 bytes; the byte handed to overflow takes the last one, so a full
// buffer and that byte leave in one write. Pending bytes are flushed by the
// destructor.
class file_out_buffer : public buffer_base {
public:
    static constexpr int area_size = 4096;
    explicit file_out_buffer(int descriptor);
    ~file_out_buffer() override;

    std::int64_t seek_off(std::int64_t offset, int direction, int which) override;
    std::int64_t seek_pos(std::int64_t position, int which) override;
    int sync() override;
    std::int64_t put_n(const char* source, std::int64_t count) override;
    int overflow(int c) override;

    [[nodiscard]] int descriptor() const { return descriptor_; }
    // Called when the owner closes the descriptor: bytes still pending then
    // fail to go out instead of reaching whatever file gets that number next.
    void release_descriptor() { descriptor_ = -1; }

private:
    [[nodiscard]] bool flush_pending();
    std::int64_t write_all(const char* source, std::int64_t count);
    char area_[area_size];
    int descriptor_;
};
