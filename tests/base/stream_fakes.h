#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "base/buffer_base.h"

// Delivers a fixed text, at most `step` bytes per refill, so that every
// refill and put-back path of a reader is taken.
class text_source : public buffer_base {
public:
    explicit text_source(std::string text, std::size_t step = 1 << 20)
        : text_(std::move(text)), step_(step) {}

    int underflow() override {
        if (get_current() < get_end()) return static_cast<unsigned char>(*get_current());
        if (next_ == text_.size()) return -1;
        std::size_t count = std::min(step_, text_.size() - next_);
        char* begin = text_.data() + next_;
        // The previous byte stays reachable for push_back_char.
        set_get_area(next_ > 0 ? begin - 1 : begin, begin, begin + count);
        next_ += count;
        ++refills;
        return static_cast<unsigned char>(*begin);
    }

    // What the reader has not taken yet.
    std::string rest() {
        std::string out;
        for (int c = take_char(); c != -1; c = take_char()) out += static_cast<char>(c);
        return out;
    }

    int refills = 0;

private:
    std::string text_;
    std::size_t step_;
    std::size_t next_ = 0;
};

// Collects what is written, through a put area of `room` bytes, and can be
// told to refuse after a number of bytes.
class text_sink : public buffer_base {
public:
    explicit text_sink(std::size_t room = 0) : area_(room, '\0') {
        set_put_area(area_.data(), area_.data() + area_.size());
    }

    int overflow(int c) override {
        drain();
        if (c == -1) return -1;
        if (text.size() >= accept_limit) return -1;
        text += static_cast<char>(c);
        return c;
    }
    int sync() override {
        drain();
        ++syncs;
        return sync_result;
    }
    std::int64_t seek_off(std::int64_t offset, int direction, int which) override {
        last_seek = {offset, direction, which};
        return 77;
    }

    std::string all() {
        drain();
        return text;
    }

    struct seek_call {
        std::int64_t offset = -9;
        int direction = -9;
        int which = -9;
    };

    std::string text;
    std::size_t accept_limit = static_cast<std::size_t>(-1);
    int sync_result = 0;
    int syncs = 0;
    seek_call last_seek;

private:
    void drain() {
        text.append(put_begin(), put_current());
        set_put_area(area_.data(), area_.data() + area_.size());
    }
    std::string area_;
};
