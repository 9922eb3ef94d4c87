#include "base/byte_string.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "base/allocation.h"

namespace {

// Strings order by their bytes taken as signed 8-bit values, so 0x80..0xFF
// come before 0x00..0x7F; every sorted listing of names relies on this.
int compare_bytes(const char* a, std::size_t a_length, const char* b, std::size_t b_length) {
    std::size_t common = std::min(a_length, b_length);
    for (std::size_t i = 0; i < common; ++i) {
        auto left = static_cast<signed char>(a[i]);
        auto right = static_cast<signed char>(b[i]);
        if (left != right) return left < right ? -1 : 1;
    }
    if (a_length == b_length) return 0;
    return a_length < b_length ? -1 : 1;
}

bool points_into(const char* data, const char* start, const char* end) {
    auto at = reinterpret_cast<std::uintptr_t>(data);
    return at >= reinterpret_cast<std::uintptr_t>(start) &&
           at < reinterpret_cast<std::uintptr_t>(end);
}

}  // namespace

void byte_string::allocate_exact(std::size_t length) {
    start_ = static_cast<char*>(allocate_bytes(length + 1));
    end_ = start_ + length;
    capacity_end_ = end_;
    *end_ = '\0';
}

byte_string::byte_string(const char* data, std::size_t length) {
    if (length == 0) return;
    allocate_exact(length);
    std::memcpy(start_, data, length);
}

byte_string::byte_string(const char* text) : byte_string(text, std::strlen(text)) {}

byte_string::byte_string(std::size_t count, char byte) {
    if (count == 0) return;
    allocate_exact(count);
    std::memset(start_, byte, count);
}

byte_string::byte_string(const byte_string& other) : byte_string(other.start_, other.length()) {}

byte_string::byte_string(byte_string&& other) noexcept {
    swap(other);
}

byte_string::~byte_string() {
    release_bytes(start_);
}

byte_string& byte_string::operator=(const byte_string& other) {
    if (this != &other) assign(other.start_, other.length());
    return *this;
}

byte_string& byte_string::operator=(byte_string&& other) noexcept {
    if (this != &other) {
        byte_string gone(std::move(*this));
        swap(other);
    }
    return *this;
}

byte_string& byte_string::operator=(const char* text) {
    assign(text, std::strlen(text));
    return *this;
}

// A source inside this string is never longer than its content, so reserve
// keeps the storage and the move below stays within it.
void byte_string::assign(const char* data, std::size_t length) {
    reserve(length);
    if (!start_) return;
    if (length) std::memmove(start_, data, length);
    end_ = start_ + length;
    *end_ = '\0';
}

byte_string& byte_string::append(const byte_string& other) {
    return append(other.start_, other.length());
}

byte_string& byte_string::append(const char* text) {
    return append(text, std::strlen(text));
}

byte_string& byte_string::append(const char* data, std::size_t length) {
    if (length == 0) return *this;
    // Appending a piece of this string: reserve may move the storage.
    if (points_into(data, start_, end_)) {
        std::size_t offset = static_cast<std::size_t>(data - start_);
        reserve(this->length() + length);
        data = start_ + offset;
    } else {
        reserve(this->length() + length);
    }
    std::memcpy(end_, data, length);
    end_ += length;
    *end_ = '\0';
    return *this;
}

byte_string& byte_string::append(std::size_t count, char byte) {
    if (count == 0) return *this;
    reserve(length() + count);
    std::memset(end_, byte, count);
    end_ += count;
    *end_ = '\0';
    return *this;
}

byte_string& byte_string::push_back(char byte) {
    return append(1, byte);
}

void byte_string::erase(std::size_t position, std::size_t count) {
    std::size_t length = this->length();
    count = std::min(count, length - position);
    if (count == 0) return;
    std::memmove(start_ + position, start_ + position + count, length - position - count);
    end_ -= count;
    *end_ = '\0';
}

byte_string byte_string::substring(std::size_t position, std::size_t count) const {
    return byte_string(start_ + position, std::min(count, length() - position));
}

int byte_string::compare(const byte_string& other) const {
    return compare_bytes(start_, length(), other.start_, other.length());
}

int byte_string::compare(const char* text) const {
    return compare_bytes(start_, length(), text, std::strlen(text));
}

void byte_string::clear() {
    if (!start_) return;
    end_ = start_;
    *end_ = '\0';
}

// No geometric growth: names are many and short, so each string holds just
// what it needs (at least 15 bytes once it grows).
void byte_string::reserve(std::size_t bytes) {
    if (bytes <= capacity()) return;
    std::size_t capacity = std::max<std::size_t>(bytes, 15);
    std::size_t length = this->length();
    char* fresh = static_cast<char*>(allocate_bytes(capacity + 1));
    if (length) std::memcpy(fresh, start_, length);
    fresh[length] = '\0';
    release_bytes(start_);
    start_ = fresh;
    end_ = fresh + length;
    capacity_end_ = fresh + capacity;
}

void byte_string::resize(std::size_t length) {
    std::size_t old_length = this->length();
    if (length > old_length) {
        append(length - old_length, '\0');
    } else if (start_) {
        end_ = start_ + length;
        *end_ = '\0';
    }
}

bool byte_string::starts_with(const char* text) const {
    std::size_t count = std::strlen(text);
    return count <= length() && (count == 0 || std::memcmp(start_, text, count) == 0);
}

bool byte_string::ends_with(const char* text) const {
    std::size_t count = std::strlen(text);
    return count <= length() && (count == 0 || std::memcmp(end_ - count, text, count) == 0);
}

std::size_t byte_string::find(char byte, std::size_t from) const {
    if (from >= length()) return npos;
    const void* found =
        std::memchr(start_ + from, static_cast<unsigned char>(byte), length() - from);
    return found ? static_cast<std::size_t>(static_cast<const char*>(found) - start_) : npos;
}

std::size_t byte_string::find_last(char byte) const {
    for (std::size_t position = length(); position > 0; --position) {
        if (start_[position - 1] == byte) return position - 1;
    }
    return npos;
}

void byte_string::swap(byte_string& other) noexcept {
    std::swap(start_, other.start_);
    std::swap(end_, other.end_);
    std::swap(capacity_end_, other.capacity_end_);
}

byte_string operator+(const byte_string& a, const byte_string& b) {
    byte_string result;
    result.reserve(a.length() + b.length());
    result.append(a);
    result.append(b);
    return result;
}

byte_string operator+(const byte_string& a, const char* b) {
    std::size_t b_length = std::strlen(b);
    byte_string result;
    result.reserve(a.length() + b_length);
    result.append(a);
    result.append(b, b_length);
    return result;
}
