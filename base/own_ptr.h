#pragma once

#include <type_traits>

// Owns one object made with new until it is handed on (release) or the
// owner goes away. Move-only, so the owner is always the one place the
// code names. A base pointer may own a derived object: deletion runs
// through the virtual destructor, which the base must have.
template <typename T>
class own_ptr {
    static_assert(
        !std::is_polymorphic_v<T> || std::has_virtual_destructor_v<T>,
        "a polymorphic object is deleted through its base: it needs a virtual destructor");

public:
    own_ptr() = default;
    explicit own_ptr(T* object) : object_(object) {}
    own_ptr(const own_ptr&) = delete;
    own_ptr& operator=(const own_ptr&) = delete;
    own_ptr(own_ptr&& other) noexcept : object_(other.release()) {}
    template <typename U, typename = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    own_ptr(own_ptr<U>&& other) noexcept
        : object_(other.release()) {}  // NOLINT: as a pointer converts
    own_ptr& operator=(own_ptr&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~own_ptr() { delete object_; }

    [[nodiscard]] T* get() const { return object_; }
    T& operator*() const { return *object_; }
    T* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

    // Hands the object on; the caller owns it now.
    [[nodiscard]] T* release() {
        T* object = object_;
        object_ = nullptr;
        return object;
    }
    // Deletes the object owned so far and owns object instead.
    void reset(T* object = nullptr) {
        T* old = object_;
        object_ = object;
        delete old;
    }

private:
    T* object_ = nullptr;
};
