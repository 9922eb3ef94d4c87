#include "base/out_stream.h"

#include <cstdio>
#include <cstring>

#include "base/buffer_base.h"
#include "base/byte_string.h"

namespace {

constexpr std::uint32_t refusing = bad_bit | fail_bit;

// Digits of value in radix 8, 10 or 16, lowercase, as printf prints them;
// returns the first digit, the text running up to end.
char* format_digits(std::uint64_t value, int radix, char* end) {
    static const char digits[] = "0123456789abcdef";
    char* first = end;
    do {
        *--first = digits[value % static_cast<unsigned>(radix)];
        value /= static_cast<unsigned>(radix);
    } while (value != 0);
    return first;
}

// Large enough for 64-bit octal (22 digits) and a sign.
constexpr int number_room = 24;
// Floating-point text is cut to 31 characters.
constexpr int float_room = 32;
// Bytes a buffer insertion moves per step.
constexpr std::int64_t copy_chunk = 16384;

}  // namespace

out_stream& out_stream::put(char c) {
    if (state() != 0) return *this;
    if (buffer()->emit_char(static_cast<unsigned char>(c)) == -1) add_state(bad_bit);
    return *this;
}

out_stream& out_stream::write(const void* data, std::int64_t count) {
    if (state() != 0) return *this;
    const char* bytes = static_cast<const char*>(data);
    while (count > 0) {
        std::int64_t taken = buffer()->put_n(bytes, count);
        if (taken <= 0) {
            add_state(bad_bit);
            break;
        }
        bytes += taken;
        count -= taken;
    }
    return *this;
}

out_stream& out_stream::flush() {
    if (state() != 0 || buffer() == nullptr) return *this;
    if (buffer()->sync() == -1) add_state(bad_bit);
    return *this;
}

out_stream& out_stream::end_line() {
    put('\n');
    return flush();
}

// Seeking and telling look only at bad and fail, so the end of input on a
// stream does not block them.
out_stream& out_stream::seek_put(std::int64_t position) {
    if (state() & refusing) return *this;
    if (buffer()->seek_pos(position, side_out) == -1) add_state(fail_bit);
    return *this;
}

out_stream& out_stream::seek_put(std::int64_t offset, int direction) {
    if (state() & refusing) return *this;
    if (buffer()->seek_off(offset, direction, side_out) == -1) add_state(fail_bit);
    return *this;
}

std::int64_t out_stream::tell_put() {
    if (state() & refusing) return -1;
    return buffer()->seek_off(0, seek_current, side_out);
}

// The width and the adjustment apply to one item only; they are used up
// before anything is written, so a refused item uses them up as well.
out_stream& out_stream::write_padded(const char* text, std::int64_t length) {
    std::uint32_t flags_then = flags();
    std::int32_t width_then = width();
    set_flags((flags_then & ~fmt_adjust_mask) | fmt_adjust_reset);
    set_width(0);
    if (state() != 0) return *this;
    if (length >= width_then) return write(text, length);
    byte_string padding(static_cast<std::size_t>(width_then - length), fill());
    if (flags_then & fmt_left) {
        write(text, length);
        return write(padding.data(), static_cast<std::int64_t>(padding.length()));
    }
    write(padding.data(), static_cast<std::int64_t>(padding.length()));
    return write(text, length);
}

out_stream& out_stream::operator<<(const char* text) {
    // A missing text is inserted as an empty one rather than read through.
    if (text == nullptr) return write_padded("", 0);
    return write_padded(text, static_cast<std::int64_t>(std::strlen(text)));
}

out_stream& out_stream::operator<<(const byte_string& text) {
    return write_padded(text.text(), static_cast<std::int64_t>(text.length()));
}

out_stream& out_stream::operator<<(char c) {
    return write_padded(&c, 1);
}

out_stream& out_stream::insert_unsigned(std::uint64_t value, bool wide) {
    if (!wide) value = static_cast<std::uint32_t>(value);
    int base = radix();
    if ((flags() & fmt_show_base) && base != 10) {
        if (base == 16) {
            write_padded("0x", 2);
        } else {
            write_padded("0", 1);
        }
    }
    char room[number_room];
    char* end = room + number_room;
    char* first = format_digits(value, base, end);
    return write_padded(first, end - first);
}

out_stream& out_stream::insert_signed(std::int64_t value, bool wide) {
    if (radix() != 10) {
        std::uint64_t bits = wide ? static_cast<std::uint64_t>(value)
                                  : static_cast<std::uint32_t>(static_cast<std::int32_t>(value));
        return insert_unsigned(bits, wide);
    }
    char room[number_room];
    char* end = room + number_room;
    std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    char* first = format_digits(magnitude, 10, end);
    if (value < 0) *--first = '-';
    return write_padded(first, end - first);
}

out_stream& out_stream::operator<<(std::int32_t value) {
    return insert_signed(value, false);
}

out_stream& out_stream::operator<<(std::uint32_t value) {
    return insert_unsigned(value, false);
}

out_stream& out_stream::operator<<(long value) {
    return insert_signed(value, sizeof(long) == sizeof(std::int64_t));
}

out_stream& out_stream::operator<<(unsigned long value) {
    return insert_unsigned(value, sizeof(unsigned long) == sizeof(std::uint64_t));
}

out_stream& out_stream::operator<<(long long value) {
    return insert_signed(value, true);
}

out_stream& out_stream::operator<<(unsigned long long value) {
    return insert_unsigned(value, true);
}

out_stream& out_stream::operator<<(bool value) {
    if (flags() & fmt_bool_words) return value ? write_padded("true", 4) : write_padded("false", 5);
    return write_padded(value ? "1" : "0", 1);
}

out_stream& out_stream::operator<<(double value) {
    char room[float_room];
    const char* format = (flags() & fmt_scientific) ? "%.*e" : "%.*f";
    int length = std::snprintf(room, sizeof room, format, static_cast<int>(precision()), value);
    if (length < 0) length = 0;
    if (length > float_room - 1) length = float_room - 1;
    return write_padded(room, length);
}

// The end of the source is no error on either side; a sink that fails stops
// the copy.
out_stream& out_stream::operator<<(buffer_base& source) {
    char chunk[copy_chunk];
    while (state() == 0) {
        std::int64_t waiting = source.available();
        if (waiting > 0) {
            if (waiting > copy_chunk) waiting = copy_chunk;
            std::int64_t got = source.get_n(chunk, waiting);
            if (got > 0) write(chunk, got);
            if (got < waiting) break;
        } else {
            int c = source.take_char();
            if (c == -1) break;
            put(static_cast<char>(c));
        }
    }
    return *this;
}

out_stream& end_line(out_stream& out) {
    return out.end_line();
}

out_stream& flush(out_stream& out) {
    return out.flush();
}

out_stream& hex(out_stream& out) {
    out.set_base(fmt_hex);
    return out;
}

out_stream& dec(out_stream& out) {
    out.set_base(fmt_dec);
    return out;
}

out_stream& oct(out_stream& out) {
    out.set_base(fmt_oct);
    return out;
}
