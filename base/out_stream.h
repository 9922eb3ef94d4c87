#pragma once

#include <cstdint>

#include "base/stream_base.h"

class buffer_base;
class byte_string;

// Formatted and raw output onto an attached buffer. Errors are state bits;
// an operation refuses to act while the state says so.
class out_stream : public stream_base {
public:
    explicit out_stream(buffer_base* buffer = nullptr) { attach(buffer); }
    out_stream(const out_stream&) = delete;
    out_stream& operator=(const out_stream&) = delete;
    virtual ~out_stream() = default;

    out_stream& put(char c);
    out_stream& write(const void* data, std::int64_t count);
    out_stream& flush();
    out_stream& end_line();
    out_stream& seek_put(std::int64_t position);
    out_stream& seek_put(std::int64_t offset, int direction);
    [[nodiscard]] std::int64_t tell_put();

    // One formatted item through the padding rule; the base prefix of a
    // number is an item of its own.
    out_stream& write_padded(const char* text, std::int64_t length);

    out_stream& operator<<(const char* text);
    out_stream& operator<<(const byte_string& text);
    out_stream& operator<<(char c);
    out_stream& operator<<(std::int32_t value);
    out_stream& operator<<(std::uint32_t value);
    out_stream& operator<<(long value);
    out_stream& operator<<(unsigned long value);
    out_stream& operator<<(long long value);
    out_stream& operator<<(unsigned long long value);
    out_stream& operator<<(bool value);
    out_stream& operator<<(double value);
    // Copies everything the source still delivers.
    out_stream& operator<<(buffer_base& source);
    out_stream& operator<<(out_stream& (*manipulator)(out_stream&)) { return manipulator(*this); }

private:
    out_stream& insert_unsigned(std::uint64_t value, bool wide);
    out_stream& insert_signed(std::int64_t value, bool wide);
};

// Manipulators.
out_stream& end_line(out_stream& out);
out_stream& flush(out_stream& out);
out_stream& hex(out_stream& out);
out_stream& dec(out_stream& out);
out_stream& oct(out_stream& out);
