#include "base/buffer_base.h"

#include <cstring>

buffer_base::~buffer_base() = default;

buffer_base* buffer_base::set_buffer(char*, std::int64_t) {
    return this;
}

std::int64_t buffer_base::seek_off(std::int64_t, int, int) {
    return -1;
}

std::int64_t buffer_base::seek_pos(std::int64_t, int) {
    return -1;
}

int buffer_base::sync() {
    return 0;
}

std::int64_t buffer_base::show_many() {
    return 0;
}

std::int64_t buffer_base::get_n(char* destination, std::int64_t count) {
    std::int64_t delivered = 0;
    for (;;) {
        std::int64_t chunk = get_end_ - get_current_;
        if (chunk > count - delivered) chunk = count - delivered;
        if (chunk > 0) {
            std::memcpy(destination + delivered, get_current_, static_cast<std::size_t>(chunk));
            get_current_ += chunk;
            delivered += chunk;
        }
        if (delivered == count) return delivered;
        int c = uflow();
        if (c == -1) return delivered;
        destination[delivered++] = static_cast<char>(c);
    }
}

int buffer_base::underflow() {
    return -1;
}

int buffer_base::uflow() {
    if (underflow() == -1) return -1;
    if (get_current_ >= get_end_) return -1;
    return static_cast<unsigned char>(*get_current_++);
}

int buffer_base::pback_fail(int) {
    return -1;
}

std::int64_t buffer_base::put_n(const char* source, std::int64_t count) {
    std::int64_t placed = 0;
    for (;;) {
        std::int64_t chunk = put_end_ - put_current_;
        if (chunk > count - placed) chunk = count - placed;
        if (chunk > 0) {
            std::memcpy(put_current_, source + placed, static_cast<std::size_t>(chunk));
            put_current_ += chunk;
            placed += chunk;
        }
        if (placed == count) return placed;
        if (overflow(static_cast<unsigned char>(source[placed])) == -1) return placed;
        ++placed;
    }
}

int buffer_base::overflow(int) {
    return -1;
}

std::int64_t buffer_base::available() {
    std::int64_t waiting = get_end_ - get_current_;
    return waiting > 0 ? waiting : show_many();
}

int buffer_base::advance_char() {
    if (take_char() == -1) return -1;
    return peek_char();
}

int buffer_base::push_back_char(int c) {
    if (get_begin_ < get_current_ && static_cast<unsigned char>(get_current_[-1]) == c) {
        --get_current_;
        return c;
    }
    return pback_fail(c);
}

int buffer_base::unget_char() {
    if (get_begin_ < get_current_) return static_cast<unsigned char>(*--get_current_);
    return pback_fail(-1);
}
