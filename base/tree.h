#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

#include "base/allocation.h"
#include "base/byte_string.h"

// A red-black tree of opaque nodes ordered by a comparison function given at
// construction, so one compiled tree serves every key type. The payload of a
// node (key first) follows the four link fields; the comparison receives
// pointers to payloads.
struct tree_node_base {
    unsigned char colour;  // 0 black, 1 red
    tree_node_base* parent;
    tree_node_base* left;
    tree_node_base* right;

    [[nodiscard]] void* payload() { return this + 1; }
    [[nodiscard]] const void* payload() const { return this + 1; }
};

enum : unsigned char { tree_black = 0, tree_red = 1 };

struct tree_iterator_base {
    tree_node_base* node;
    bool operator==(const tree_iterator_base& other) const { return node == other.node; }
    bool operator!=(const tree_iterator_base& other) const { return node != other.node; }
};

using tree_less = bool (*)(std::uint32_t user_data, const void* a, const void* b);
using tree_make_node = tree_node_base* (*)(void* context, const void* key);
using tree_destroy_node = void (*)(void* context, tree_node_base* node);

struct tree_insert_result {
    tree_iterator_base position;
    bool inserted;
};

class tree_base {
public:
    tree_base(tree_less less, std::uint32_t user_data);
    tree_base(const tree_base&) = delete;
    tree_base& operator=(const tree_base&) = delete;
    // Releases the header; the caller clears first.
    ~tree_base();

    // An equal key keeps its node: make_node is then not called.
    tree_insert_result insert_unique(const void* key, tree_make_node make_node, void* context);
    // Lower bound, or end when the key orders before it (no equal key).
    [[nodiscard]] tree_iterator_base find(const void* key) const;
    // First node not ordered before the key, or end.
    [[nodiscard]] tree_iterator_base lower_bound(const void* key) const;
    // 1 when the key was there and its node is gone, else 0.
    int erase(const void* key, tree_destroy_node destroy, void* context);
    // Unlinks one node known to be in the tree and destroys it.
    void erase_at(tree_iterator_base position, tree_destroy_node destroy, void* context);
    void clear(tree_destroy_node destroy, void* context);

    [[nodiscard]] tree_iterator_base begin() const { return {header_->left}; }
    [[nodiscard]] tree_iterator_base end() const { return {header_}; }
    [[nodiscard]] static tree_iterator_base next(tree_iterator_base position);
    [[nodiscard]] static tree_iterator_base previous(tree_iterator_base position);
    [[nodiscard]] std::uint32_t count() const { return count_; }
    [[nodiscard]] tree_node_base* header() const { return header_; }
    [[nodiscard]] tree_node_base* root() const { return header_->parent; }
    // Exchanges count and header; less and user data stay.
    void swap(tree_base& other) noexcept;

    // Links z under y (found by a search) and rebalances. x non-null means z
    // is known to go to the left.
    tree_iterator_base insert_node(tree_node_base* x, tree_node_base* y, tree_node_base* z);

private:
    // True when payload a orders before payload b.
    [[nodiscard]] bool less(const void* a, const void* b) const { return less_(user_data_, a, b); }
    std::uint32_t count_ = 0;
    tree_node_base* header_;
    tree_less less_;
    std::uint32_t user_data_;
};

// Order used by every typed tree: operator< on the key type.
template <typename K>
bool tree_key_less(std::uint32_t, const void* a, const void* b) {
    return *static_cast<const K*>(a) < *static_cast<const K*>(b);
}

// Typed skin: a set of K, or a map from K to V when V is not void. It only
// casts; the tree_base does the work.
template <typename K, typename V>
struct tree_map_node {
    tree_node_base links;
    K key;
    V value;
};

template <typename K, typename V>
class tree_map {
    using node = tree_map_node<K, V>;
    static_assert(alignof(K) <= alignof(tree_node_base), "key must sit right after the links");

public:
    class iterator {
    public:
        explicit iterator(tree_iterator_base at) : at_(at) {}
        const K& key() const { return reinterpret_cast<node*>(at_.node)->key; }
        V& value() const { return reinterpret_cast<node*>(at_.node)->value; }
        iterator& operator++() {
            at_ = tree_base::next(at_);
            return *this;
        }
        bool operator==(const iterator& other) const { return at_ == other.at_; }
        bool operator!=(const iterator& other) const { return at_ != other.at_; }
        [[nodiscard]] tree_iterator_base position() const { return at_; }

    private:
        tree_iterator_base at_;
    };

    tree_map() : base_(&tree_key_less<K>, 0) {}
    tree_map(const tree_map&) = delete;
    tree_map& operator=(const tree_map&) = delete;
    ~tree_map() { clear(); }

    // Returns the node of key and whether it was made now.
    std::pair<iterator, bool> insert(const K& key, V value = V()) {
        pending_value_ = &value;
        tree_insert_result result = base_.insert_unique(&key, &make, this);
        return {iterator(result.position), result.inserted};
    }
    iterator find(const K& key) const { return iterator(base_.find(&key)); }
    [[nodiscard]] bool contains(const K& key) const { return base_.find(&key) != base_.end(); }
    // Null when absent.
    V* lookup(const K& key) const {
        tree_iterator_base at = base_.find(&key);
        return at == base_.end() ? nullptr : &reinterpret_cast<node*>(at.node)->value;
    }
    int erase(const K& key) { return base_.erase(&key, &destroy, nullptr); }
    iterator erase(iterator position) {
        iterator next(tree_base::next(position.position()));
        base_.erase_at(position.position(), &destroy, nullptr);
        return next;
    }
    void clear() { base_.clear(&destroy, nullptr); }
    iterator begin() const { return iterator(base_.begin()); }
    iterator end() const { return iterator(base_.end()); }
    [[nodiscard]] std::uint32_t size() const { return base_.count(); }
    [[nodiscard]] bool empty() const { return base_.count() == 0; }
    void swap(tree_map& other) noexcept { base_.swap(other.base_); }
    [[nodiscard]] const tree_base& base() const { return base_; }

private:
    static tree_node_base* make(void* context, const void* key) {
        auto* self = static_cast<tree_map*>(context);
        node* fresh = static_cast<node*>(allocate_bytes(sizeof(node)));
        new (&fresh->key) K(*static_cast<const K*>(key));
        new (&fresh->value) V(std::move(*self->pending_value_));
        return &fresh->links;
    }
    static void destroy(void*, tree_node_base* gone) {
        node* dead = reinterpret_cast<node*>(gone);
        dead->key.~K();
        dead->value.~V();
        release_bytes(dead);
    }
    tree_base base_;
    V* pending_value_ = nullptr;
};

struct tree_no_value {};

// A set of unique keys in ascending order.
template <typename K>
class tree_set {
    using map_type = tree_map<K, tree_no_value>;

public:
    class iterator {
    public:
        explicit iterator(typename map_type::iterator at) : at_(at) {}
        const K& operator*() const { return at_.key(); }
        const K* operator->() const { return &at_.key(); }
        iterator& operator++() {
            ++at_;
            return *this;
        }
        bool operator==(const iterator& other) const { return at_ == other.at_; }
        bool operator!=(const iterator& other) const { return at_ != other.at_; }
        [[nodiscard]] typename map_type::iterator inner() const { return at_; }

    private:
        typename map_type::iterator at_;
    };

    // True when the key was not there before.
    bool insert(const K& key) { return map_.insert(key).second; }
    [[nodiscard]] bool contains(const K& key) const { return map_.contains(key); }
    iterator find(const K& key) const { return iterator(map_.find(key)); }
    int erase(const K& key) { return map_.erase(key); }
    iterator erase(iterator position) { return iterator(map_.erase(position.inner())); }
    void clear() { map_.clear(); }
    iterator begin() const { return iterator(map_.begin()); }
    iterator end() const { return iterator(map_.end()); }
    [[nodiscard]] std::uint32_t size() const { return map_.size(); }
    [[nodiscard]] bool empty() const { return map_.empty(); }
    void swap(tree_set& other) noexcept { map_.swap(other.map_); }
    [[nodiscard]] const tree_base& base() const { return map_.base(); }

private:
    map_type map_;
};
