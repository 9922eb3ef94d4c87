#include "base/list.h"

list_base::list_base()
    : header_(static_cast<list_node_base*>(allocate_bytes(sizeof(list_node_base)))) {
    header_->next = header_;
    header_->previous = header_;
}

list_base::~list_base() {
    release_bytes(header_);
}

std::size_t list_base::size() const {
    std::size_t count = 0;
    for (list_node_base* at = header_->next; at != header_; at = at->next) ++count;
    return count;
}

void list_base::insert_before(list_node_base* position, list_node_base* node) {
    node->next = position;
    node->previous = position->previous;
    position->previous->next = node;
    position->previous = node;
}

void list_base::unlink(list_node_base* node) {
    unlink(node, node->next);
}

void list_base::unlink(list_node_base* first, list_node_base* stop) {
    if (first == stop) return;
    first->previous->next = stop;
    stop->previous = first->previous;
}

void list_base::swap(list_base& other) noexcept {
    std::swap(header_, other.header_);
}
