#include "package/deflate_buffer.h"

#include <algorithm>
#include <climits>

namespace {
// Below this a write is cheaper copied into the put area than handed to zlib.
constexpr std::int64_t direct_threshold = 1024;
}  // namespace

deflate_buffer::deflate_buffer(buffer_base* target) : target_(target) {
    zlib_ready_ = deflateInit(&zlib_, Z_DEFAULT_COMPRESSION) == Z_OK;
    failed_ = !zlib_ready_;
    // The last byte of the area is kept free for the byte that overflow gets.
    set_put_area(area_, area_ + area_size - 1);
}

deflate_buffer::~deflate_buffer() {
    (void)finish();
}

bool deflate_buffer::hand_over(int flush_mode) {
    do {
        zlib_.next_out = reinterpret_cast<Bytef*>(output_);
        zlib_.avail_out = area_size;
        const int result = deflate(&zlib_, flush_mode);
        if (result == Z_STREAM_ERROR) return false;
        const std::int64_t produced = area_size - zlib_.avail_out;
        if (produced > 0 && target_->put_n(output_, produced) != produced) return false;
    } while (zlib_.avail_out == 0);
    // With room left over, deflate has taken all its input (and at Z_FINISH
    // written the end of the stream).
    return true;
}

bool deflate_buffer::flush_pending() {
    if (failed_ || finished_) return false;
    const std::int64_t pending = put_current() - put_begin();
    if (pending == 0) return true;
    zlib_.next_in = reinterpret_cast<Bytef*>(put_begin());
    zlib_.avail_in = static_cast<uInt>(pending);
    if (!hand_over(Z_NO_FLUSH)) {
        failed_ = true;
        return false;
    }
    set_put_area(area_, area_ + area_size - 1);
    return true;
}

int deflate_buffer::sync() {
    return flush_pending() ? 0 : -1;
}

int deflate_buffer::overflow(int c) {
    if (c == -1 || failed_ || finished_) return -1;
    *put_current() = static_cast<char>(c);
    advance_put(1);
    if (!flush_pending()) {
        advance_put(-1);
        return -1;
    }
    return static_cast<unsigned char>(c);
}

std::int64_t deflate_buffer::put_n(const char* source, std::int64_t count) {
    if (count < direct_threshold) return buffer_base::put_n(source, count);
    if (!flush_pending()) return 0;
    std::int64_t done = 0;
    while (done < count) {
        const std::int64_t piece = std::min<std::int64_t>(count - done, UINT_MAX);
        // zlib does not write through next_in; the cast only meets its type.
        zlib_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(source + done));
        zlib_.avail_in = static_cast<uInt>(piece);
        if (!hand_over(Z_NO_FLUSH)) {
            failed_ = true;
            return 0;
        }
        done += piece;
    }
    return count;
}

bool deflate_buffer::finish() {
    if (finished_) return !failed_;
    bool whole = zlib_ready_ && flush_pending();
    if (zlib_ready_) {
        if (whole) {
            zlib_.next_in = nullptr;
            zlib_.avail_in = 0;
            whole = hand_over(Z_FINISH);
        }
        whole = deflateEnd(&zlib_) == Z_OK && whole;
    }
    finished_ = true;
    failed_ = !whole;
    set_put_area(nullptr, nullptr);
    return whole;
}
