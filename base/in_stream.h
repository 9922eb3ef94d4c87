#pragma once

#include <cstdint>

#include "base/stream_base.h"

class buffer_base;
class byte_string;

// Raw and formatted input from an attached buffer. The end of input and
// every shortfall are state bits, never exceptions.
class in_stream : public stream_base {
public:
    explicit in_stream(buffer_base* buffer = nullptr) { attach(buffer); }
    in_stream(const in_stream&) = delete;
    in_stream& operator=(const in_stream&) = delete;
    virtual ~in_stream() = default;

    // Fewer than count bytes adds eof_bit and fail_bit; last_count() tells
    // how many arrived.
    in_stream& read(void* destination, std::int64_t count);
    [[nodiscard]] std::int64_t last_count() const { return last_count_; }
    in_stream& get_line(byte_string& line, char delimiter = '\n');
    in_stream& seek_get(std::int64_t offset, int direction);
    [[nodiscard]] std::int64_t tell_get();
    in_stream& skip_ws();

    in_stream& operator>>(byte_string& word);
    in_stream& operator>>(std::int32_t& value);
    in_stream& operator>>(std::uint32_t& value);
    in_stream& operator>>(long& value);
    in_stream& operator>>(unsigned long& value);
    in_stream& operator>>(long long& value);
    in_stream& operator>>(unsigned long long& value);
    in_stream& operator>>(float& value);
    in_stream& operator>>(double& value);
    in_stream& operator>>(long double& value);

private:
    // Reads one whitespace-delimited word of at most width - 1 bytes, and
    // never more than limit - 1; returns the bytes stored.
    int read_word(char* destination, int limit);
    // Shared steps of number extraction: the length of the word, 0 to stop.
    int number_word(char* destination, int limit);
    std::int64_t last_count_ = 0;
};
