#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/file_buffers.h"
#include "base/stream_base.h"

namespace {
constexpr std::int64_t bypass_size = 1024;
}

file_in_buffer::file_in_buffer(int descriptor) : descriptor_(descriptor), storage_{} {}

// A read error ends the input just as the end of the file does; only an
// interrupted call is tried again.
std::int64_t file_in_buffer::read_some(char* destination, std::int64_t count) {
    for (;;) {
        ssize_t got = ::read(descriptor_, destination, static_cast<std::size_t>(count));
        if (got >= 0) return got;
        if (errno != EINTR) return 0;
    }
}

void file_in_buffer::empty_get_area() {
    set_get_area(storage_, area(), area());
}

int file_in_buffer::underflow() {
    if (get_current() < get_end()) return static_cast<unsigned char>(*get_current());
    // The last byte taken survives the refill in the put-back byte. It is
    // stored only once new bytes came, so a failed refill changes nothing.
    bool keep = get_begin() < get_current();
    char last = keep ? get_current()[-1] : 0;
    std::int64_t got = read_some(area(), area_size);
    if (got == 0) return -1;
    if (keep) storage_[0] = last;
    set_get_area(area() - (keep ? 1 : 0), area(), area() + got);
    return static_cast<unsigned char>(area()[0]);
}

std::int64_t file_in_buffer::get_n(char* destination, std::int64_t count) {
    if (count < bypass_size) return buffer_base::get_n(destination, count);
    std::int64_t waiting = get_end() - get_current();
    if (waiting < 0) waiting = 0;
    if (waiting >= count) {
        std::memcpy(destination, get_current(), static_cast<std::size_t>(count));
        advance_get(count);
        return count;
    }
    if (waiting > 0) std::memcpy(destination, get_current(), static_cast<std::size_t>(waiting));
    std::int64_t delivered = waiting;
    while (delivered < count) {
        std::int64_t got = read_some(destination + delivered, count - delivered);
        if (got == 0) break;
        delivered += got;
    }
    // Nothing arrived and nothing was waiting: the area stays as it was, so
    // the byte taken last can still be pushed back.
    if (delivered == 0) return 0;
    empty_get_area();
    storage_[0] = destination[delivered - 1];
    return delivered;
}

std::int64_t file_in_buffer::seek_off(std::int64_t offset, int direction, int) {
    // The descriptor is ahead of the reader by the bytes still waiting in
    // the area; positions are those the reader sees.
    if (direction == seek_current) offset -= get_end() - get_current();
    off_t position = ::lseek(descriptor_, offset, direction);
    if (position != -1) set_get_area(area(), area(), area());
    return position;
}

std::int64_t file_in_buffer::seek_pos(std::int64_t position, int) {
    off_t reached = ::lseek(descriptor_, position, SEEK_SET);
    if (reached != -1) set_get_area(area(), area(), area());
    return reached;
}
