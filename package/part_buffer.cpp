#include "package/part_buffer.h"

#include <algorithm>

#include "base/stream_base.h"
#include "package/format.h"

namespace {
constexpr std::int64_t discard_piece = 4096;
}

std::int64_t part_buffer::read_header() {
    unsigned char header[file_header_size];
    if (source_->get_n(reinterpret_cast<char*>(header), file_header_size) < file_header_size) {
        return -1;
    }
    total_size_ = static_cast<std::uint64_t>(load_u32(header + 4)) + file_header_size;
    payload_offset_ += file_header_size;
    return load_u32(header);
}

bool part_buffer::discard(std::uint32_t count) {
    char scrap[discard_piece];
    while (count > 0) {
        const std::int64_t piece = std::min<std::int64_t>(count, discard_piece);
        const std::int64_t got = source_->get_n(scrap, piece);
        if (got < piece) return false;
        count -= static_cast<std::uint32_t>(got);
    }
    return true;
}

int part_buffer::advance() {
    // Seeking first lets a file skip a payload nobody wants (the archive of a
    // package that is refused) without reading it; a pipe cannot seek and
    // falls back to reading.
    if (remaining_ != 0) {
        const std::uint32_t rest = remaining_;
        remaining_ = 0;
        if (source_->seek_off(rest, seek_current, side_both) == -1 && !discard(rest)) return -1;
    }
    payload_offset_ += length_;
    unsigned char header[part_header_size];
    if (source_->get_n(reinterpret_cast<char*>(header), part_header_size) < part_header_size) {
        length_ = 0;
        return -1;
    }
    payload_offset_ += part_header_size;
    length_ = remaining_ = load_u32(header + 2);
    return load_u16(header);
}

std::int64_t part_buffer::seek_off(std::int64_t offset, int direction, int) {
    const std::int64_t length = length_;
    switch (direction) {
        case seek_begin:
            return seek_pos(offset, side_in);
        case seek_current:
            return seek_pos(offset + length - remaining_, side_in);
        case seek_end:
            return seek_pos(length - offset, side_in);
        default:
            return -1;
    }
}

std::int64_t part_buffer::seek_pos(std::int64_t position, int) {
    if (position < 0 || position > static_cast<std::int64_t>(length_)) return -1;
    const auto new_remaining = static_cast<std::uint32_t>(length_ - position);
    if (new_remaining == remaining_) return position;
    if (source_->seek_pos(static_cast<std::int64_t>(payload_offset_) + position, side_both) == -1) {
        // Without a seekable source only a forward move is possible.
        if (new_remaining > remaining_) return -1;
        const std::uint32_t skip = remaining_ - new_remaining;
        if (!discard(skip)) {
            remaining_ = 0;
            return -1;
        }
    }
    remaining_ = new_remaining;
    return position;
}

std::int64_t part_buffer::show_many() {
    return std::min<std::int64_t>(source_->available(), remaining_);
}

std::int64_t part_buffer::get_n(char* destination, std::int64_t count) {
    if (remaining_ == 0 || count <= 0) return 0;
    const std::int64_t got = source_->get_n(destination, std::min<std::int64_t>(count, remaining_));
    remaining_ -= static_cast<std::uint32_t>(got);
    return got;
}

int part_buffer::underflow() {
    if (remaining_ == 0) return -1;
    return source_->peek_char();
}

int part_buffer::uflow() {
    if (remaining_ == 0) return -1;
    const int c = source_->take_char();
    if (c != -1) --remaining_;
    return c;
}

int part_buffer::pback_fail(int c) {
    if (remaining_ == length_) return -1;
    // A plain step back (c = -1) cannot be matched against a byte.
    const int result = c == -1 ? source_->unget_char() : source_->push_back_char(c);
    if (result != -1) ++remaining_;
    return result;
}
