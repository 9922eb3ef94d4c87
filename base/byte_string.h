#pragma once

#include <cstddef>

// A string of bytes that grows to exactly what it needs. The content may hold
// NUL bytes; whenever storage exists the byte after the content is NUL, so
// text() can go straight to the platform. An empty string made by
// construction owns no storage at all.
class byte_string {
public:
    byte_string() = default;
    byte_string(const char* data, std::size_t length);
    byte_string(const char* text);  // NOLINT: implicit by design, like a literal
    byte_string(std::size_t count, char byte);
    byte_string(const byte_string& other);
    byte_string(byte_string&& other) noexcept;
    ~byte_string();

    byte_string& operator=(const byte_string& other);
    byte_string& operator=(byte_string&& other) noexcept;
    byte_string& operator=(const char* text);
    void assign(const char* data, std::size_t length);

    byte_string& append(const byte_string& other);
    byte_string& append(const char* text);
    byte_string& append(const char* data, std::size_t length);
    byte_string& append(std::size_t count, char byte);
    byte_string& push_back(char byte);
    byte_string& operator+=(const byte_string& other) { return append(other); }
    byte_string& operator+=(const char* text) { return append(text); }
    byte_string& operator+=(char byte) { return push_back(byte); }

    // Positions must not exceed the length; the count is cut to what is there.
    void erase(std::size_t position, std::size_t count);
    [[nodiscard]] byte_string substring(std::size_t position, std::size_t count) const;

    // -1, 0 or 1, bytes compared as signed 8-bit values, the shorter first.
    [[nodiscard]] int compare(const byte_string& other) const;
    [[nodiscard]] int compare(const char* text) const;

    // Length 0; the storage stays.
    void clear();
    // Grows the capacity to at least bytes (plus the NUL byte).
    void reserve(std::size_t bytes);
    // Sets the length, filling new bytes with NUL.
    void resize(std::size_t length);

    [[nodiscard]] const char* text() const { return start_ ? start_ : ""; }
    [[nodiscard]] const char* data() const { return start_; }
    [[nodiscard]] char* data() { return start_; }
    [[nodiscard]] std::size_t length() const { return static_cast<std::size_t>(end_ - start_); }
    [[nodiscard]] std::size_t capacity() const {
        return static_cast<std::size_t>(capacity_end_ - start_);
    }
    [[nodiscard]] bool empty() const { return end_ == start_; }
    [[nodiscard]] bool has_storage() const { return start_ != nullptr; }

    char operator[](std::size_t index) const { return start_[index]; }
    char& operator[](std::size_t index) { return start_[index]; }
    const char* begin() const { return start_; }
    const char* end() const { return end_; }

    [[nodiscard]] bool starts_with(const char* text) const;
    [[nodiscard]] bool ends_with(const char* text) const;
    // Position of the first byte equal to byte at or after from, or npos.
    [[nodiscard]] std::size_t find(char byte, std::size_t from = 0) const;
    [[nodiscard]] std::size_t find_last(char byte) const;
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    void swap(byte_string& other) noexcept;

private:
    // Gives an empty string storage for exactly length bytes and the NUL;
    // the caller fills the content.
    void allocate_exact(std::size_t length);

    char* start_ = nullptr;
    char* end_ = nullptr;
    char* capacity_end_ = nullptr;
};

inline bool operator==(const byte_string& a, const byte_string& b) {
    return a.compare(b) == 0;
}
inline bool operator==(const byte_string& a, const char* b) {
    return a.compare(b) == 0;
}
inline bool operator!=(const byte_string& a, const byte_string& b) {
    return a.compare(b) != 0;
}
inline bool operator!=(const byte_string& a, const char* b) {
    return a.compare(b) != 0;
}
inline bool operator<(const byte_string& a, const byte_string& b) {
    return a.compare(b) < 0;
}
byte_string operator+(const byte_string& a, const byte_string& b);
byte_string operator+(const byte_string& a, const char* b);
