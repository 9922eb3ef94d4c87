#include "package/inflate_buffer.h"

#include <algorithm>

#include "base/stream_base.h"

inflate_buffer::inflate_buffer(buffer_base* source) : source_(source) {
    zlib_ready_ = inflateInit(&zlib_) == Z_OK;
}

inflate_buffer::~inflate_buffer() {
    if (zlib_ready_) inflateEnd(&zlib_);
}

std::int64_t inflate_buffer::inflate_some() {
    char* const area = output_ + 1;
    // A step may eat input without producing anything (block headers, empty
    // blocks); only a source that runs dry ends the data.
    for (;;) {
        if (zlib_.avail_in == 0) {
            const std::int64_t got = source_->get_n(input_, area_size);
            if (got <= 0) return -1;
            zlib_.next_in = reinterpret_cast<Bytef*>(input_);
            zlib_.avail_in = static_cast<uInt>(got);
        }
        zlib_.next_out = reinterpret_cast<Bytef*>(area);
        zlib_.avail_out = area_size;
        const int result = inflate(&zlib_, Z_PARTIAL_FLUSH);
        const std::int64_t produced = area_size - zlib_.avail_out;
        if (result == Z_STREAM_END) {
            finished_ = true;
            return produced;
        }
        if (result != Z_OK) {
            // What was inflated before the fault is still delivered, so whole
            // entries in front of it are not lost; the next step ends the
            // data. Z_BUF_ERROR only says no progress was possible.
            corrupt_ = result != Z_BUF_ERROR;
            return produced > 0 ? produced : -1;
        }
        if (produced > 0) return produced;
    }
}

int inflate_buffer::underflow() {
    if (get_current() < get_end()) return static_cast<unsigned char>(*get_current());
    if (!zlib_ready_ || finished_ || corrupt_) return -1;
    char* const area = output_ + 1;
    const bool keep = get_begin() != nullptr && get_begin() < get_current();
    if (keep) output_[0] = get_current()[-1];
    const std::int64_t produced = inflate_some();
    if (produced <= 0) return -1;
    inflated_ += static_cast<std::uint32_t>(produced);
    set_get_area(keep ? output_ : area, area, area + produced);
    return static_cast<unsigned char>(*area);
}

std::int64_t inflate_buffer::seek_off(std::int64_t offset, int direction, int) {
    const std::int64_t here = static_cast<std::int64_t>(inflated_) - (get_end() - get_current());
    std::int64_t target;
    if (direction == seek_begin) {
        target = offset;
    } else if (direction == seek_current) {
        target = here + offset;
    } else {
        return -1;
    }
    if (target < here) return -1;
    std::int64_t position = here;
    while (position < target) {
        if (peek_char() == -1) return -1;
        const std::int64_t step =
            std::min<std::int64_t>(get_end() - get_current(), target - position);
        advance_get(step);
        position += step;
    }
    return position;
}

std::int64_t inflate_buffer::seek_pos(std::int64_t position, int which) {
    return seek_off(position, seek_begin, which);
}
