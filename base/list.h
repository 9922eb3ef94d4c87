#pragma once

#include <cstddef>
#include <new>
#include <utility>

#include "base/allocation.h"

struct list_node_base {
    list_node_base* next;
    list_node_base* previous;
};

// A circular doubly linked list around a header node that is allocated with
// the list; an empty list's header points to itself both ways. Nodes are the
// caller's: the base only links and unlinks them.
class list_base {
public:
    list_base();
    list_base(const list_base&) = delete;
    list_base& operator=(const list_base&) = delete;
    // Frees the header; the caller has freed the nodes.
    ~list_base();

    [[nodiscard]] list_node_base* header() const { return header_; }
    [[nodiscard]] list_node_base* first() const { return header_->next; }
    [[nodiscard]] list_node_base* last() const { return header_->previous; }
    [[nodiscard]] bool empty() const { return header_->next == header_; }
    // Counts by walking the whole list.
    [[nodiscard]] std::size_t size() const;

    static void insert_before(list_node_base* position, list_node_base* node);
    static void unlink(list_node_base* node);
    // Unlinks first up to (not including) stop.
    static void unlink(list_node_base* first, list_node_base* stop);
    void swap(list_base& other) noexcept;

private:
    list_node_base* header_;
};

// Typed skin: nodes carry a T after the two links.
template <typename T>
class list {
    struct node : list_node_base {
        T value;
    };

public:
    class iterator {
    public:
        explicit iterator(list_node_base* at) : at_(at) {}
        T& operator*() const { return static_cast<node*>(at_)->value; }
        T* operator->() const { return &static_cast<node*>(at_)->value; }
        iterator& operator++() {
            at_ = at_->next;
            return *this;
        }
        iterator& operator--() {
            at_ = at_->previous;
            return *this;
        }
        bool operator==(const iterator& other) const { return at_ == other.at_; }
        bool operator!=(const iterator& other) const { return at_ != other.at_; }
        [[nodiscard]] list_node_base* position() const { return at_; }

    private:
        list_node_base* at_;
    };

    list() = default;
    list(const list&) = delete;
    list& operator=(const list&) = delete;
    ~list() { clear(); }

    iterator begin() const { return iterator(base_.first()); }
    iterator end() const { return iterator(base_.header()); }
    [[nodiscard]] bool empty() const { return base_.empty(); }
    [[nodiscard]] std::size_t size() const { return base_.size(); }
    T& front() const { return *begin(); }
    T& back() const { return static_cast<node*>(base_.last())->value; }

    iterator insert(iterator position, T value) {
        node* fresh = new (allocate_bytes(sizeof(node))) node;
        new (&fresh->value) T(std::move(value));
        list_base::insert_before(position.position(), fresh);
        return iterator(fresh);
    }
    iterator push_back(T value) { return insert(end(), std::move(value)); }
    iterator push_front(T value) { return insert(begin(), std::move(value)); }
    // Returns the position after the erased one.
    iterator erase(iterator position) {
        list_node_base* next = position.position()->next;
        list_base::unlink(position.position());
        destroy(static_cast<node*>(position.position()));
        return iterator(next);
    }
    void clear() {
        while (!empty()) erase(begin());
    }
    void swap(list& other) noexcept { base_.swap(other.base_); }

private:
    static void destroy(node* gone) {
        gone->value.~T();
        release_bytes(gone);
    }
    list_base base_;
};
