#include "tests/support/memory_buffers.h"

#include <algorithm>
#include <utility>

memory_source::memory_source(std::string bytes, bool seekable)
    : bytes_(std::move(bytes)), seekable_(seekable) {
    set_get_area(bytes_.data(), bytes_.data(), bytes_.data() + bytes_.size());
}

std::int64_t memory_source::seek_off(std::int64_t offset, int direction, int which) {
    const std::int64_t base = direction == 0   ? 0
                              : direction == 1 ? position()
                                               : static_cast<std::int64_t>(bytes_.size());
    return seek_pos(base + offset, which);
}

std::int64_t memory_source::seek_pos(std::int64_t position, int) {
    if (!seekable_ || position < 0) return -1;
    const std::int64_t inside = std::min<std::int64_t>(position, bytes_.size());
    set_get_current(get_begin() + inside);
    return position;
}

std::int64_t memory_source::get_n(char* destination, std::int64_t count) {
    const std::int64_t got = buffer_base::get_n(destination, count);
    delivered_ += static_cast<std::uint64_t>(got);
    return got;
}

std::int64_t memory_sink::put_n(const char* source, std::int64_t count) {
    bytes_.append(source, static_cast<std::size_t>(count));
    return count;
}

int memory_sink::overflow(int c) {
    if (c == -1) return -1;
    bytes_.push_back(static_cast<char>(c));
    return static_cast<unsigned char>(c);
}
