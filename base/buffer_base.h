#pragma once

#include <cstdint>

// A byte buffer with a get area and a put area and twelve virtual slots, in
// this order: destructor, deleting destructor, set_buffer, seek_off,
// seek_pos, sync, show_many, get_n, underflow, uflow, pback_fail, put_n,
// overflow. Buffers stack: a package part over a file, an inflater over a
// part. The inline helpers are the fast path; the slots refill and drain.
class buffer_base {
public:
    buffer_base() = default;
    buffer_base(const buffer_base&) = delete;
    buffer_base& operator=(const buffer_base&) = delete;
    virtual ~buffer_base();

    virtual buffer_base* set_buffer(char* area, std::int64_t size);
    // Returns the new position, or -1.
    virtual std::int64_t seek_off(std::int64_t offset, int direction, int which);
    virtual std::int64_t seek_pos(std::int64_t position, int which);
    // 0 on success, -1 on failure.
    virtual int sync();
    virtual std::int64_t show_many();
    // Bytes delivered; fewer than count only when uflow gave -1.
    virtual std::int64_t get_n(char* destination, std::int64_t count);
    virtual int underflow();
    virtual int uflow();
    virtual int pback_fail(int c);
    // Bytes placed; fewer than count only when overflow gave -1.
    virtual std::int64_t put_n(const char* source, std::int64_t count);
    virtual int overflow(int c);

    [[nodiscard]] std::int64_t available();
    int take_char() {
        if (get_current_ < get_end_) return static_cast<unsigned char>(*get_current_++);
        return uflow();
    }
    int peek_char() {
        if (get_current_ < get_end_) return static_cast<unsigned char>(*get_current_);
        return underflow();
    }
    int advance_char();
    int push_back_char(int c);
    int unget_char();
    int emit_char(int c) {
        if (put_current_ < put_end_) {
            *put_current_++ = static_cast<char>(c);
            return static_cast<unsigned char>(c);
        }
        return overflow(c);
    }

    [[nodiscard]] char* get_begin() const { return get_begin_; }
    [[nodiscard]] char* get_current() const { return get_current_; }
    [[nodiscard]] char* get_end() const { return get_end_; }
    [[nodiscard]] char* put_begin() const { return put_begin_; }
    [[nodiscard]] char* put_current() const { return put_current_; }
    [[nodiscard]] char* put_end() const { return put_end_; }

protected:
    void set_get_area(char* begin, char* current, char* end) {
        get_begin_ = begin;
        get_current_ = current;
        get_end_ = end;
    }
    void set_put_area(char* begin, char* end) {
        put_begin_ = begin;
        put_current_ = begin;
        put_end_ = end;
    }
    void advance_get(std::int64_t count) { get_current_ += count; }
    void set_get_current(char* current) { get_current_ = current; }
    void advance_put(std::int64_t count) { put_current_ += count; }
    void set_put_current(char* current) { put_current_ = current; }

private:
    char* get_begin_ = nullptr;
    char* get_current_ = nullptr;
    char* get_end_ = nullptr;
    char* put_begin_ = nullptr;
    char* put_current_ = nullptr;
    char* put_end_ = nullptr;
};
