#include "package/package_reader.h"

#include "base/read_in_pieces.h"
#include "package/format.h"

package_reader::package_reader(in_stream& source) : parts_(source.buffer()) {
    attach(&parts_);
    if (source.buffer() == nullptr) {
        add_state(bad_bit);
        return;
    }
    const std::int64_t magic = parts_.read_header();
    if (magic == -1) {
        add_state(bad_bit);
        return;
    }
    magic_ = static_cast<std::uint32_t>(magic);
    if (magic_ != magic_tracked && magic_ != magic_untracked) add_state(bad_bit);
}

bool package_reader::is_untracked() const {
    return magic_ == magic_untracked;
}

int package_reader::next_part() {
    if (state() & (bad_bit | fail_bit)) {
        current_type_ = -1;
        return -1;
    }
    // Reaching the end of the previous payload is not an error.
    clear(state() & ~eof_bit);
    for (;;) {
        const int type = parts_.advance();
        if (type == -1) {
            current_type_ = -1;
            add_state(eof_bit | fail_bit);
            return -1;
        }
        for (const std::uint32_t accepted : accepted_) {
            if (accepted == static_cast<std::uint32_t>(type)) {
                current_type_ = type;
                return type;
            }
        }
    }
}

bool package_reader::read_payload(byte_string& into, std::size_t keep) {
    return read_in_pieces(*this, part_length(), into, keep);
}
