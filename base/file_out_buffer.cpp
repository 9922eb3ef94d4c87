#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/file_buffers.h"

namespace {
constexpr std::int64_t bypass_size = 1024;
}

// The last byte of the area stays outside the put area: overflow stores its
// byte there, so a full area and that byte leave in one write.
file_out_buffer::file_out_buffer(int descriptor) : area_{}, descriptor_(descriptor) {
    set_put_area(area_, area_ + area_size - 1);
}

file_out_buffer::~file_out_buffer() {
    (void)flush_pending();
}

std::int64_t file_out_buffer::write_all(const char* source, std::int64_t count) {
    std::int64_t written = 0;
    while (written < count) {
        ssize_t done =
            ::write(descriptor_, source + written, static_cast<std::size_t>(count - written));
        if (done > 0) {
            written += done;
        } else if (done == -1 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    return written;
}

bool file_out_buffer::flush_pending() {
    std::int64_t pending = put_current() - put_begin();
    if (pending <= 0) return true;
    std::int64_t written = write_all(put_begin(), pending);
    if (written == pending) {
        set_put_current(put_begin());
        return true;
    }
    // Bytes that did reach the file must not be written a second time by
    // the next flush; only the rest stays pending.
    if (written > 0) {
        std::memmove(put_begin(), put_begin() + written,
                     static_cast<std::size_t>(pending - written));
        set_put_current(put_begin() + (pending - written));
    }
    return false;
}

int file_out_buffer::overflow(int c) {
    if (c == -1) return -1;
    *put_current() = static_cast<char>(c);
    advance_put(1);
    if (flush_pending()) return c;
    advance_put(-1);
    return -1;
}

std::int64_t file_out_buffer::put_n(const char* source, std::int64_t count) {
    if (count < bypass_size) return buffer_base::put_n(source, count);
    if (!flush_pending()) return 0;
    return write_all(source, count);
}

int file_out_buffer::sync() {
    return flush_pending() ? 0 : -1;
}

std::int64_t file_out_buffer::seek_off(std::int64_t offset, int direction, int) {
    if (!flush_pending()) return -1;
    return ::lseek(descriptor_, offset, direction);
}

std::int64_t file_out_buffer::seek_pos(std::int64_t position, int) {
    if (!flush_pending()) return -1;
    return ::lseek(descriptor_, position, SEEK_SET);
}
