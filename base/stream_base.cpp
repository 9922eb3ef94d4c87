#include "base/stream_base.h"

int stream_base::radix() const {
    if (flags_ & fmt_oct) return 8;
    if (flags_ & fmt_hex) return 16;
    return 10;
}

// A stream without a buffer can do nothing, so it stays bad whatever the
// caller clears.
void stream_base::clear(std::uint32_t state) {
    state_ = buffer_ ? state : (state | bad_bit);
}

void stream_base::attach(buffer_base* buffer) {
    buffer_ = buffer;
    clear(0);
}
