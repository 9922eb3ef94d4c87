#include "base/in_stream.h"

#include <cstdlib>
#include <cstring>

#include "base/buffer_base.h"
#include "base/byte_string.h"

namespace {

// Whitespace as in the POSIX locale; bytes from 0x80 up are always data.
bool is_space(int c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Word limits, terminating NUL included: integers, float, double.
constexpr int integer_limit = 16;
constexpr int float_limit = 32;
constexpr int double_limit = 64;

// Lines and words are gathered in small pieces before they are appended,
// since a byte string grows to exactly what it needs.
constexpr int gather_size = 256;

class gathered_text {
public:
    explicit gathered_text(byte_string& text) : text_(text) {}
    ~gathered_text() { spill(); }
    gathered_text(const gathered_text&) = delete;
    gathered_text& operator=(const gathered_text&) = delete;

    void add(int c) {
        if (used_ == gather_size) spill();
        piece_[used_++] = static_cast<char>(c);
        ++total_;
    }
    [[nodiscard]] std::int64_t total() const { return total_; }

private:
    void spill() {
        if (used_ > 0) text_.append(piece_, static_cast<std::size_t>(used_));
        used_ = 0;
    }
    byte_string& text_;
    char piece_[gather_size];
    int used_ = 0;
    std::int64_t total_ = 0;
};

}  // namespace

in_stream& in_stream::read(void* destination, std::int64_t count) {
    last_count_ = 0;
    if (state() != 0 || count < 0) return *this;
    last_count_ = buffer()->get_n(static_cast<char*>(destination), count);
    if (last_count_ < count) add_state(eof_bit | fail_bit);
    return *this;
}

// Whole runs of the get area up to the delimiter are appended at once; only
// a refill goes byte by byte.
in_stream& in_stream::get_line(byte_string& line, char delimiter) {
    line.clear();
    if (state() != 0) return *this;
    buffer_base* source = buffer();
    int end_mark = static_cast<unsigned char>(delimiter);
    for (;;) {
        const char* current = source->get_current();
        const char* end = source->get_end();
        if (current < end) {
            const void* found =
                std::memchr(current, end_mark, static_cast<std::size_t>(end - current));
            const char* stop = found ? static_cast<const char*>(found) : end;
            if (stop > current) {
                std::size_t had = line.length();
                line.resize(had + static_cast<std::size_t>(stop - current));
                source->get_n(line.data() + had, stop - current);
            }
            if (found) {
                source->take_char();
                return *this;
            }
        }
        int c = source->take_char();
        if (c == -1) {
            add_state(eof_bit | fail_bit);
            return *this;
        }
        if (c == end_mark) return *this;
        line.push_back(static_cast<char>(c));
    }
}

in_stream& in_stream::seek_get(std::int64_t offset, int direction) {
    if (state() != 0) return *this;
    if (buffer()->seek_off(offset, direction, side_in) == -1) add_state(fail_bit);
    return *this;
}

std::int64_t in_stream::tell_get() {
    if (state() != 0) return -1;
    return buffer()->seek_off(0, seek_current, side_in);
}

in_stream& in_stream::skip_ws() {
    if (state() != 0) {
        add_state(fail_bit);
        return *this;
    }
    buffer_base* source = buffer();
    for (;;) {
        int c = source->take_char();
        if (c == -1) {
            add_state(eof_bit);
            return *this;
        }
        if (!is_space(c)) {
            source->push_back_char(c);
            return *this;
        }
    }
}

int in_stream::read_word(char* destination, int limit) {
    destination[0] = '\0';
    skip_ws();
    if (state() != 0) {
        add_state(fail_bit);
        return 0;
    }
    int most = limit - 1;
    if (width() > 0 && width() - 1 < most) most = width() - 1;
    buffer_base* source = buffer();
    int stored = 0;
    while (stored < most) {
        int c = source->take_char();
        if (c == -1) {
            add_state(stored == 0 ? (eof_bit | fail_bit) : eof_bit);
            break;
        }
        if (is_space(c)) {
            source->push_back_char(c);
            break;
        }
        destination[stored++] = static_cast<char>(c);
    }
    destination[stored] = '\0';
    return stored;
}

in_stream& in_stream::operator>>(byte_string& word) {
    skip_ws();
    word.clear();
    if (state() != 0) {
        add_state(fail_bit);
        return *this;
    }
    std::int64_t most = width() > 0 ? width() : -1;
    buffer_base* source = buffer();
    gathered_text text(word);
    while (text.total() != most) {
        int c = source->take_char();
        if (c == -1) {
            add_state(text.total() == 0 ? (eof_bit | fail_bit) : eof_bit);
            break;
        }
        if (is_space(c)) {
            source->push_back_char(c);
            break;
        }
        text.add(c);
    }
    return *this;
}

// The width bounds the word for this one extraction and is then restored:
// a run longer than the limit is split and its rest stays in the input.
int in_stream::number_word(char* destination, int limit) {
    if (state() != 0) return 0;
    std::int32_t saved = width();
    set_width(saved <= 0 || saved + 1 > limit ? limit : saved + 1);
    int length = read_word(destination, limit);
    set_width(saved);
    return length;
}

namespace {

// A word that converts only partly is an error, but its value still counts.
bool converted_whole(const char* word, int length, const char* stop) {
    return stop == word + length;
}

// Words are at most 15 characters, so a 64-bit conversion never overflows
// and gives the value that the narrower target then saturates.
bool convert_signed_narrow(const char* word, int length, int radix, std::int32_t& value) {
    char* stop = nullptr;
    long long wide = std::strtoll(word, &stop, radix);
    if (wide > INT32_MAX) wide = INT32_MAX;
    if (wide < INT32_MIN) wide = INT32_MIN;
    value = static_cast<std::int32_t>(wide);
    return converted_whole(word, length, stop);
}

// A minus negates modulo 2^32 as for an unsigned long of 32 bits; a
// magnitude beyond 32 bits saturates whatever the sign.
bool convert_unsigned_narrow(const char* word, int length, int radix, std::uint32_t& value) {
    char* stop = nullptr;
    long long wide = std::strtoll(word, &stop, radix);
    unsigned long long magnitude = wide < 0 ? 0 - static_cast<unsigned long long>(wide)
                                            : static_cast<unsigned long long>(wide);
    value = magnitude > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(wide);
    return converted_whole(word, length, stop);
}

}  // namespace

in_stream& in_stream::operator>>(std::int32_t& value) {
    char word[integer_limit];
    int length = number_word(word, integer_limit);
    if (length == 0) return *this;
    if (!convert_signed_narrow(word, length, radix(), value)) add_state(fail_bit);
    return *this;
}

in_stream& in_stream::operator>>(std::uint32_t& value) {
    char word[integer_limit];
    int length = number_word(word, integer_limit);
    if (length == 0) return *this;
    if (!convert_unsigned_narrow(word, length, radix(), value)) add_state(fail_bit);
    return *this;
}

in_stream& in_stream::operator>>(long& value) {
    char word[integer_limit];
    int length = number_word(word, integer_limit);
    if (length == 0) return *this;
    char* stop = nullptr;
    value = std::strtol(word, &stop, radix());
    if (!converted_whole(word, length, stop)) add_state(fail_bit);
    return *this;
}

in_stream& in_stream::operator>>(unsigned long& value) {
    char word[integer_limit];
    int length = number_word(word, integer_limit);
    if (length == 0) return *this;
    char* stop = nullptr;
    value = std::strtoul(word, &stop, radix());
    if (!converted_whole(word, length, stop)) add_state(fail_bit);
    return *this;
}

in_stream& in_stream::operator>>(long long& value) {
    char word[integer_limit];
    int length = number_word(word, integer_limit);
    if (length == 0) return *this;
    char* stop = nullptr;
    value = std::strtoll(word, &stop, radix());
    if (!converted_whole(word, length, stop)) add_state(fail_bit);
    return *this;
}

in_stream& in_stream::operator>>(unsigned long long& value) {
    char word[integer_limit];
    int length = number_word(word, integer_limit);
    if (length == 0) return *this;
    char* stop = nullptr;
    value = std::strtoull(word, &stop, radix());
    if (!converted_whole(word, length, stop)) add_state(fail_bit);
    return *this;
}

in_stream& in_stream::operator>>(float& value) {
    char word[float_limit];
    int length = number_word(word, float_limit);
    if (length == 0) return *this;
    char* stop = nullptr;
    value = std::strtof(word, &stop);
    if (!converted_whole(word, length, stop)) add_state(fail_bit);
    return *this;
}

in_stream& in_stream::operator>>(double& value) {
    char word[double_limit];
    int length = number_word(word, double_limit);
    if (length == 0) return *this;
    char* stop = nullptr;
    value = std::strtod(word, &stop);
    if (!converted_whole(word, length, stop)) add_state(fail_bit);
    return *this;
}

in_stream& in_stream::operator>>(long double& value) {
    char word[double_limit];
    int length = number_word(word, double_limit);
    if (length == 0) return *this;
    char* stop = nullptr;
    value = std::strtold(word, &stop);
    if (!converted_whole(word, length, stop)) add_state(fail_bit);
    return *this;
}
