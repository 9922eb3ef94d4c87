#include "base/tree.h"

// glibc's report for a failed assertion. insert_node calls it directly so
// that its check stays in builds without assertions and reports the same
// text in every build.
extern "C" [[noreturn]] void __assert_fail(const char* assertion, const char* file,
                                           unsigned int line, const char* function) noexcept;

// The header is a red sentinel: its parent is the root, its left the
// leftmost node and its right the rightmost node (the header itself while
// the tree is empty). The root's parent is the header, so every real node
// has a parent and the walks below stop at the header.
//
// In the diagrams, capitals are red nodes and small letters black ones;
// (x) is a node of either colour. n is the node being fixed; each case is
// drawn for n (or its parent) on the left and runs mirrored on the right.

namespace {

using node = tree_node_base;

node*& child(node* parent, bool right) {
    return right ? parent->right : parent->left;
}

bool is_red(const node* n) {
    return n && n->colour == tree_red;
}

node* minimum(node* n) {
    while (n->left) n = n->left;
    return n;
}

node* maximum(node* n) {
    while (n->right) n = n->right;
    return n;
}

// The root is tested first: the header's left link (the leftmost node) may
// be the root as well, and must not be mistaken for the root's slot.
void replace_child(node* old, node* fresh, node*& root) {
    if (old == root) {
        root = fresh;
    } else if (old == old->parent->left) {
        old->parent->left = fresh;
    } else {
        old->parent->right = fresh;
    }
}

/*
 * Moves top down to one side; its child on the other side takes its place.
 * Rotating t down to the left:
 *
 *      t                 r
 *     / \               / \
 *    a   r     -->     t   c
 *       / \           / \
 *      b   c         a   b
 */
void rotate(node* top, bool down_right, node*& root) {
    node* rising = child(top, !down_right);
    node* moved = child(rising, down_right);
    child(top, !down_right) = moved;
    if (moved) moved->parent = top;
    rising->parent = top->parent;
    replace_child(top, rising, root);
    child(rising, down_right) = top;
    top->parent = rising;
}

// One step for a red n under a red parent. Returns the node to go on from,
// or null once the tree is balanced.
node* insert_step(node* n, node*& root) {
    node* parent = n->parent;
    node* grand = parent->parent;
    bool side = parent == grand->right;
    node* uncle = child(grand, !side);
    if (is_red(uncle)) {
        /*
         * The uncle is red: recolour and go on from the grandparent, which
         * may now be a red child of a red node.
         *
         *        g                G
         *       / \              / \
         *      P   U    -->     p   u
         *     /                /
         *    N                N
         */
        parent->colour = tree_black;
        uncle->colour = tree_black;
        grand->colour = tree_red;
        return grand;
    }
    if (n == child(parent, !side)) {
        /*
         * n is the inner child: rotate it up to the outer place so that the
         * last case applies, with the old parent as n.
         *
         *        g                g
         *       / \              / \
         *      P   u    -->     N   u
         *       \              /
         *        N            P
         */
        rotate(parent, side, root);
        node* outer = parent;
        parent = n;
        n = outer;
    }
    /*
     * n is the outer child: rotate the grandparent down and recolour.
     *
     *          g              p
     *         / \            / \
     *        P   u  -->     N   G
     *       / \                / \
     *      N   c              c   u
     */
    parent->colour = tree_black;
    grand->colour = tree_red;
    rotate(grand, !side, root);
    return nullptr;
}

void rebalance_after_insert(node* n, node*& root) {
    n->colour = tree_red;
    while (n && n != root && n->parent->colour == tree_red) n = insert_step(n, root);
    root->colour = tree_black;
}

// What is left where a node came out: the child that moved up (maybe null),
// its parent, and the colour that left that spot.
struct removal {
    node* n;
    node* parent;
    unsigned char colour;
};

// z has at most one child, which takes its place.
removal unlink_simple(node* z, node* header) {
    node*& root = header->parent;
    node* n = z->left ? z->left : z->right;
    if (n) n->parent = z->parent;
    replace_child(z, n, root);
    if (header->left == z) header->left = n ? minimum(n) : z->parent;
    if (header->right == z) header->right = n ? maximum(n) : z->parent;
    return {n, z->parent, z->colour};
}

// z has two children: its successor y (which has no left child) takes z's
// place and colour, and y's right child takes y's place.
removal unlink_inner(node* z, node*& root) {
    node* y = minimum(z->right);
    node* n = y->right;
    node* parent = y;
    if (y != z->right) {
        parent = y->parent;
        if (n) n->parent = parent;
        parent->left = n;
        y->right = z->right;
        z->right->parent = y;
    }
    y->left = z->left;
    z->left->parent = y;
    replace_child(z, y, root);
    y->parent = z->parent;
    unsigned char colour = y->colour;
    y->colour = z->colour;
    return {n, parent, colour};
}

// One step for a black (or empty) n whose side lacks one black node. Moves
// n and parent up when the shortage moves up; returns true once it is made
// good.
bool erase_step(node*& n, node*& parent, node*& root) {
    // A black node left n's side, so the sibling's side holds at least one.
    bool side = n == parent->right;
    node* sibling = child(parent, !side);
    if (sibling->colour == tree_red) {
        /*
         * A red sibling: rotate the parent down so that n's sibling is black.
         *
         *      p                 s
         *     / \               / \
         *    n   S     -->     P   d
         *       / \           / \
         *      c   d         n   c
         */
        sibling->colour = tree_black;
        parent->colour = tree_red;
        rotate(parent, side, root);
        sibling = child(parent, !side);
    }
    node* near = child(sibling, side);
    node* far = child(sibling, !side);
    if (!is_red(near) && !is_red(far)) {
        /*
         * Nothing red below the sibling: take one black from its side too and
         * pass the shortage to the parent.
         *
         *     (p)              (p)  <- the new n
         *     / \              / \
         *    n   s     -->    n   S
         *       / \              / \
         *      c   d            c   d
         */
        sibling->colour = tree_red;
        n = parent;
        parent = parent->parent;
        return false;
    }
    if (!is_red(far)) {
        /*
         * Only the near child is red: rotate it up so that the far one is.
         *
         *     (p)             (p)
         *     / \             / \
         *    n   s    -->    n   c
         *       / \               \
         *      C   d               S
         *                           \
         *                            d
         */
        near->colour = tree_black;
        sibling->colour = tree_red;
        rotate(sibling, !side, root);
        far = sibling;
        sibling = child(parent, !side);
    }
    /*
     * The far child is red: rotate the parent down onto n's side and paint
     * the far child black; both sides now count the same blacks.
     *
     *     (p)               (s)
     *     / \               / \
     *    n   s     -->     p   d
     *       / \           / \
     *     (c)  D         n  (c)
     */
    sibling->colour = parent->colour;
    parent->colour = tree_black;
    far->colour = tree_black;
    rotate(parent, side, root);
    n = root;
    return true;
}

void rebalance_after_erase(node* n, node* parent, node*& root) {
    while (n != root && !is_red(n)) {
        if (erase_step(n, parent, root)) break;
    }
    if (n) n->colour = tree_black;
}

bool is_header(const node* n) {
    // Only the header is red with no parent or with itself as grandparent.
    return n->colour == tree_red && (!n->parent || n->parent->parent == n);
}

void destroy_subtree(node* n, tree_destroy_node destroy, void* context) {
    while (n) {
        destroy_subtree(n->right, destroy, context);
        node* left = n->left;
        destroy(context, n);
        n = left;
    }
}

void reset_header(node* header) {
    header->parent = nullptr;
    header->left = header;
    header->right = header;
}

}  // namespace

tree_base::tree_base(tree_less less, std::uint32_t user_data)
    : header_(static_cast<node*>(allocate_bytes(sizeof(node)))),
      less_(less),
      user_data_(user_data) {
    header_->colour = tree_red;
    reset_header(header_);
}

tree_base::~tree_base() {
    release_bytes(header_);
}

// The search only ever asks "does the key order before this node"; the
// in-order predecessor of the place found then tells equal from greater.
tree_insert_result tree_base::insert_unique(const void* key, tree_make_node make_node,
                                            void* context) {
    node* parent = header_;
    bool went_left = true;
    for (node* at = root(); at; at = went_left ? at->left : at->right) {
        parent = at;
        went_left = less(key, at->payload());
    }
    // Going left of the leftmost node, nothing orders before the key.
    bool is_new = went_left && parent == header_->left;
    tree_iterator_base before{parent};
    if (!is_new) {
        if (went_left) before = previous(before);
        is_new = less(before.node->payload(), key);
    }
    if (!is_new) return {before, false};
    return {insert_node(nullptr, parent, make_node(context, key)), true};
}

tree_iterator_base tree_base::lower_bound(const void* key) const {
    node* found = header_;
    for (node* at = root(); at;) {
        if (less(at->payload(), key)) {
            at = at->right;
        } else {
            found = at;
            at = at->left;
        }
    }
    return {found};
}

tree_iterator_base tree_base::find(const void* key) const {
    tree_iterator_base found = lower_bound(key);
    if (found == end() || less(key, found.node->payload())) return end();
    return found;
}

int tree_base::erase(const void* key, tree_destroy_node destroy, void* context) {
    tree_iterator_base found = find(key);
    if (found == end()) return 0;
    erase_at(found, destroy, context);
    return 1;
}

void tree_base::erase_at(tree_iterator_base position, tree_destroy_node destroy, void* context) {
    node* gone = position.node;
    node*& root = header_->parent;
    removal left =
        gone->left && gone->right ? unlink_inner(gone, root) : unlink_simple(gone, header_);
    if (left.colour == tree_black) rebalance_after_erase(left.n, left.parent, root);
    destroy(context, gone);
    --count_;
}

void tree_base::clear(tree_destroy_node destroy, void* context) {
    if (count_ == 0) return;
    destroy_subtree(root(), destroy, context);
    reset_header(header_);
    count_ = 0;
}

tree_iterator_base tree_base::next(tree_iterator_base position) {
    node* at = position.node;
    if (at->right) return {minimum(at->right)};
    node* parent = at->parent;
    while (at == parent->right) {
        at = parent;
        parent = parent->parent;
    }
    // Climbing from the rightmost node ends with at on the header and parent
    // on the root (the header's right is the rightmost, the root's parent is
    // the header): the header itself is then the successor.
    if (at->right != parent) at = parent;
    return {at};
}

tree_iterator_base tree_base::previous(tree_iterator_base position) {
    node* at = position.node;
    if (is_header(at)) return {at->right};
    if (at->left) return {maximum(at->left)};
    node* parent = at->parent;
    while (at == parent->left) {
        at = parent;
        parent = parent->parent;
    }
    return {parent};
}

void tree_base::swap(tree_base& other) noexcept {
    std::swap(count_, other.count_);
    std::swap(header_, other.header_);
}

tree_iterator_base tree_base::insert_node(tree_node_base* x, tree_node_base* y, tree_node_base* z) {
    if (!(y && z)) {
        __assert_fail("y && z", "tree.cpp", 352,
                      "tree_iterator_base tree_base::insert_node(tree_node_base*, "
                      "tree_node_base*, tree_node_base*)");
    }
    z->parent = y;
    z->left = nullptr;
    z->right = nullptr;
    if (y == header_ || x || less(z->payload(), y->payload())) {
        // On an empty tree y is the header: this also makes z the leftmost.
        y->left = z;
        if (y == header_) {
            header_->parent = z;
            header_->right = z;
        } else if (y == header_->left) {
            header_->left = z;
        }
    } else {
        y->right = z;
        if (y == header_->right) header_->right = z;
    }
    rebalance_after_insert(z, header_->parent);
    ++count_;
    return {z};
}
