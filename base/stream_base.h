#pragma once

#include <cstdint>

class buffer_base;

// Format flags.
enum : std::uint32_t {
    fmt_bool_words = 0x1,
    fmt_dec = 0x2,
    fmt_hex = 0x4,
    fmt_oct = 0x8,
    fmt_left = 0x10,
    fmt_adjust_reset = 0x40,
    fmt_show_base = 0x80,
    fmt_scientific = 0x200,
    fmt_base_mask = 0x0e,
    fmt_adjust_mask = 0x70,
};

// State bits. Callers test state & (bad_bit | fail_bit) for errors and
// state & eof_bit for the end of input.
enum : std::uint32_t {
    bad_bit = 1,
    eof_bit = 2,
    fail_bit = 4,
};

// Lseek directions and the sides a seek applies to.
enum : int { seek_begin = 0, seek_current = 1, seek_end = 2 };
enum : int { side_in = 8, side_out = 16, side_both = 24 };

// The format and state that input and output streams share. The buffer is
// not owned here.
class stream_base {
public:
    [[nodiscard]] std::uint32_t flags() const { return flags_; }
    void set_flags(std::uint32_t flags) { flags_ = flags; }
    // Chooses radix 10, 16 or 8 by clearing the base field and setting one flag.
    void set_base(std::uint32_t base_flag) { flags_ = (flags_ & ~fmt_base_mask) | base_flag; }
    [[nodiscard]] int radix() const;
    [[nodiscard]] std::int32_t precision() const { return precision_; }
    void set_precision(std::int32_t precision) { precision_ = precision; }
    [[nodiscard]] std::int32_t width() const { return width_; }
    void set_width(std::int32_t width) { width_ = width; }
    [[nodiscard]] char fill() const { return fill_; }
    void set_fill(char fill) { fill_ = fill; }

    [[nodiscard]] std::uint32_t state() const { return state_; }
    [[nodiscard]] bool good() const { return state_ == 0; }
    [[nodiscard]] bool failed() const { return (state_ & (bad_bit | fail_bit)) != 0; }
    [[nodiscard]] bool at_end() const { return (state_ & eof_bit) != 0; }
    // The one rule for setting the state: bad_bit is added while no buffer is attached.
    void clear(std::uint32_t state = 0);
    void add_state(std::uint32_t bits) { clear(state_ | bits); }

    [[nodiscard]] buffer_base* buffer() const { return buffer_; }
    // Attaching sets the state to 0, or to bad_bit for no buffer.
    void attach(buffer_base* buffer);

private:
    std::uint32_t flags_ = fmt_dec;
    std::int32_t precision_ = 6;
    std::int32_t width_ = 0;
    char fill_ = ' ';
    std::uint32_t state_ = 0;
    buffer_base* buffer_ = nullptr;
};
