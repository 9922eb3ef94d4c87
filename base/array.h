#pragma once

#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

// An untyped growable array counted in bytes. Elements move between
// allocations as raw bytes, so an element type must not point into itself
// (byte_string, pointers and records of them are fine).
class array_base {
public:
    array_base() = default;
    array_base(const array_base&) = delete;
    array_base& operator=(const array_base&) = delete;
    ~array_base();

    // Makes room for bytes in total. Growth: max(2 x size, bytes, 8 x element size).
    void reserve(std::size_t bytes, std::size_t element_size);
    // Reserves one more element and advances end over it; returns the new slot.
    void* append_slot(std::size_t element_size);
    // Opens a gap of element_size bytes at offset; returns it.
    void* insert_slot(std::size_t offset, std::size_t element_size);
    // Closes count bytes at offset (the caller has destroyed what was there).
    void erase_bytes(std::size_t offset, std::size_t count);
    // Drops the storage; the caller has destroyed the elements.
    void release();
    void swap(array_base& other) noexcept;

    [[nodiscard]] char* begin_bytes() const { return begin_; }
    [[nodiscard]] char* end_bytes() const { return end_; }
    [[nodiscard]] std::size_t size_bytes() const { return static_cast<std::size_t>(end_ - begin_); }
    [[nodiscard]] std::size_t capacity_bytes() const {
        return static_cast<std::size_t>(capacity_end_ - begin_);
    }
    void set_size_bytes(std::size_t bytes) { end_ = begin_ + bytes; }

private:
    char* begin_ = nullptr;
    char* end_ = nullptr;
    char* capacity_end_ = nullptr;
};

// Typed skin over array_base: it only casts and runs constructors and
// destructors; all storage decisions stay in the base.
template <typename T>
class array {
public:
    array() = default;
    array(const array& other) { append_all(other); }
    array(array&& other) noexcept { base_.swap(other.base_); }
    array& operator=(const array& other) {
        if (this != &other) {
            clear();
            append_all(other);
        }
        return *this;
    }
    array& operator=(array&& other) noexcept {
        base_.swap(other.base_);
        return *this;
    }
    ~array() {
        clear();
        base_.release();
    }

    [[nodiscard]] std::size_t size() const { return base_.size_bytes() / sizeof(T); }
    [[nodiscard]] bool empty() const { return base_.size_bytes() == 0; }
    T* begin() { return reinterpret_cast<T*>(base_.begin_bytes()); }
    T* end() { return reinterpret_cast<T*>(base_.end_bytes()); }
    const T* begin() const { return reinterpret_cast<const T*>(base_.begin_bytes()); }
    const T* end() const { return reinterpret_cast<const T*>(base_.end_bytes()); }
    T& operator[](std::size_t index) { return begin()[index]; }
    const T& operator[](std::size_t index) const { return begin()[index]; }
    T& back() { return end()[-1]; }
    const T& back() const { return end()[-1]; }

    void reserve(std::size_t count) { base_.reserve(count * sizeof(T), sizeof(T)); }
    // The copy is taken before growing, so an element of this array may be passed.
    T& push_back(const T& value) {
        T copy(value);
        return *new (base_.append_slot(sizeof(T))) T(std::move(copy));
    }
    T& push_back(T&& value) { return *new (base_.append_slot(sizeof(T))) T(std::move(value)); }
    T& insert(std::size_t index, T value) {
        return *new (base_.insert_slot(index * sizeof(T), sizeof(T))) T(std::move(value));
    }
    void erase(std::size_t index) {
        begin()[index].~T();
        base_.erase_bytes(index * sizeof(T), sizeof(T));
    }
    void pop_back() {
        back().~T();
        base_.set_size_bytes(base_.size_bytes() - sizeof(T));
    }
    void clear() {
        if constexpr (!std::is_trivially_destructible_v<T>) {
            for (T& value : *this) value.~T();
        }
        base_.set_size_bytes(0);
    }
    [[nodiscard]] const array_base& base() const { return base_; }

private:
    void append_all(const array& other) {
        for (const T& value : other) push_back(value);
    }
    array_base base_;
};
