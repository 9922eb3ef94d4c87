#include "base/array.h"

#include <algorithm>
#include <cstring>

#include "base/allocation.h"

array_base::~array_base() {
    release();
}

// Doubling keeps appends amortised constant; the floor of eight elements
// spares small arrays a string of tiny reallocations.
void array_base::reserve(std::size_t bytes, std::size_t element_size) {
    if (bytes <= capacity_bytes()) return;
    std::size_t size = size_bytes();
    std::size_t capacity = std::max({2 * size, bytes, 8 * element_size});
    char* fresh = static_cast<char*>(allocate_bytes(capacity));
    if (size) std::memcpy(fresh, begin_, size);
    release_bytes(begin_);
    begin_ = fresh;
    end_ = fresh + size;
    capacity_end_ = fresh + capacity;
}

void* array_base::append_slot(std::size_t element_size) {
    reserve(size_bytes() + element_size, element_size);
    char* slot = end_;
    end_ += element_size;
    return slot;
}

void* array_base::insert_slot(std::size_t offset, std::size_t element_size) {
    reserve(size_bytes() + element_size, element_size);
    char* slot = begin_ + offset;
    std::memmove(slot + element_size, slot, size_bytes() - offset);
    end_ += element_size;
    return slot;
}

void array_base::erase_bytes(std::size_t offset, std::size_t count) {
    char* gap = begin_ + offset;
    std::memmove(gap, gap + count, size_bytes() - offset - count);
    end_ -= count;
}

void array_base::release() {
    release_bytes(begin_);
    begin_ = end_ = capacity_end_ = nullptr;
}

void array_base::swap(array_base& other) noexcept {
    std::swap(begin_, other.begin_);
    std::swap(end_, other.end_);
    std::swap(capacity_end_, other.capacity_end_);
}
