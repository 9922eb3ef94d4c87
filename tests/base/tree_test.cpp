#include "base/tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using node = tree_node_base;

template <typename K>
const K& key_of(const node* n) {
    return *static_cast<const K*>(n->payload());
}

bool is_red(const node* n) {
    return n && n->colour == tree_red;
}

// Walks a tree and reports the first broken invariant, or "" when it is sound.
template <typename K>
class tree_checker {
public:
    explicit tree_checker(const tree_base& tree) : tree_(tree) {}

    std::string check() {
        const node* header = tree_.header();
        if (header->colour != tree_red) return "header is not red";
        const node* root = header->parent;
        if (!root) {
            if (header->left != header || header->right != header) return "empty header links";
            return tree_.count() == 0 ? "" : "count of an empty tree";
        }
        if (root->colour != tree_black) return "red root";
        if (black_height(root, header) < 0) return fault_;
        for (std::size_t i = 1; i < keys_.size(); ++i) {
            if (!(keys_[i - 1] < keys_[i])) return "keys out of order";
        }
        if (tree_.count() != keys_.size()) return "count differs from the nodes";
        if (header->left != leftmost_ || header->right != rightmost_) return "header extremes";
        return check_walks();
    }

private:
    // Black nodes on every path below n (the null leaves count one), or -1.
    int black_height(const node* n, const node* parent) {
        if (!n) return 1;
        if (n->parent != parent) return failed("broken parent link");
        if (n->colour != tree_red && n->colour != tree_black) return failed("unknown colour");
        if (n->colour == tree_red && (is_red(n->left) || is_red(n->right))) {
            return failed("red child of a red node");
        }
        int left = black_height(n->left, n);
        if (left < 0) return -1;
        if (keys_.empty()) leftmost_ = n;
        rightmost_ = n;
        keys_.push_back(key_of<K>(n));
        int right = black_height(n->right, n);
        if (right < 0) return -1;
        if (left != right) return failed("unequal black heights");
        return left + (n->colour == tree_black ? 1 : 0);
    }

    std::string check_walks() const {
        std::vector<K> forward;
        tree_iterator_base at = tree_.begin();
        for (; at != tree_.end() && forward.size() <= keys_.size(); at = tree_base::next(at)) {
            forward.push_back(key_of<K>(at.node));
        }
        if (forward != keys_) return "next walks another order";
        std::vector<K> backward;
        for (at = tree_.end(); at != tree_.begin() && backward.size() <= keys_.size();) {
            at = tree_base::previous(at);
            backward.push_back(key_of<K>(at.node));
        }
        std::reverse(backward.begin(), backward.end());
        return backward == keys_ ? "" : "previous walks another order";
    }

    int failed(const char* what) {
        fault_ = what;
        return -1;
    }

    const tree_base& tree_;
    std::string fault_;
    std::vector<K> keys_;
    const node* leftmost_ = nullptr;
    const node* rightmost_ = nullptr;
};

template <typename K>
std::string check_tree(const tree_base& tree) {
    return tree_checker<K>(tree).check();
}

struct int_node {
    tree_node_base links;
    int key;
};

bool int_less(std::uint32_t, const void* a, const void* b) {
    return *static_cast<const int*>(a) < *static_cast<const int*>(b);
}

// A bare tree_base of int nodes that counts what the tree asks of it.
class int_tree : public testing::Test {
protected:
    ~int_tree() override { tree.clear(&destroy, this); }

    tree_insert_result insert(int key) { return tree.insert_unique(&key, &make, this); }
    int erase(int key) { return tree.erase(&key, &destroy, this); }
    tree_iterator_base find(int key) const { return tree.find(&key); }

    static node* make(void* self, const void* key) {
        ++static_cast<int_tree*>(self)->made;
        auto* fresh = new int_node;
        fresh->key = *static_cast<const int*>(key);
        return &fresh->links;
    }
    static void destroy(void* self, node* gone) {
        static_cast<int_tree*>(self)->destroyed.push_back(key_of<int>(gone));
        delete reinterpret_cast<int_node*>(gone);
    }

    tree_base tree{&int_less, 0};
    int made = 0;
    std::vector<int> destroyed;
};

}  // namespace

TEST_F(int_tree, ExistingKeyKeepsItsNode) {
    for (int key : {5, 3, 8}) EXPECT_TRUE(insert(key).inserted);
    tree_iterator_base three = find(3);
    tree_insert_result again = insert(3);
    EXPECT_FALSE(again.inserted);
    EXPECT_EQ(again.position, three);
    EXPECT_EQ(made, 3);
    EXPECT_EQ(tree.count(), 3u);
    EXPECT_EQ(check_tree<int>(tree), "");
}

// A caller that already knows the side passes x: no comparison overrules it.
TEST_F(int_tree, InsertNodeTakesTheLeftHint) {
    (void)insert(5);
    node* five = find(5).node;
    auto* seven = new int_node{{}, 7};
    EXPECT_EQ(tree.insert_node(five, five, &seven->links).node, &seven->links);
    EXPECT_EQ(five->left, &seven->links);
    EXPECT_EQ(tree.begin().node, &seven->links);
    EXPECT_EQ(tree.header()->right, five);
    EXPECT_EQ(tree.count(), 2u);
}

TEST_F(int_tree, FindAndEraseOnlyEqualKeys) {
    for (int key : {5, 3, 8}) (void)insert(key);
    EXPECT_EQ(find(4), tree.end());
    EXPECT_EQ(find(9), tree.end());
    int four = 4;
    EXPECT_EQ(key_of<int>(tree.lower_bound(&four).node), 5);
    EXPECT_EQ(erase(4), 0);
    EXPECT_TRUE(destroyed.empty());
    EXPECT_EQ(tree.count(), 3u);
    EXPECT_EQ(erase(5), 1);
    EXPECT_EQ(destroyed, std::vector<int>{5});
    EXPECT_EQ(find(5), tree.end());
    EXPECT_EQ(check_tree<int>(tree), "");
}

TEST_F(int_tree, ClearDestroysEveryNodeOnceFromTheRight) {
    tree.clear(&destroy, this);
    EXPECT_TRUE(destroyed.empty());
    for (int key : {4, 9, 1, 7, 3, 10, 2, 8, 6, 5}) (void)insert(key);
    tree.clear(&destroy, this);
    EXPECT_EQ(destroyed, (std::vector<int>{10, 9, 8, 7, 6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(tree.count(), 0u);
    EXPECT_EQ(tree.begin(), tree.end());
    EXPECT_EQ(tree_base::previous(tree.end()), tree.end());
    EXPECT_EQ(check_tree<int>(tree), "");
}

TEST_F(int_tree, SwapExchangesContentsOnly) {
    for (int key : {1, 2, 3}) (void)insert(key);
    // Ordered backwards: the comparison must stay with its tree.
    tree_base other([](std::uint32_t, const void* a, const void* b) { return int_less(0, b, a); },
                    7);
    tree.swap(other);
    EXPECT_EQ(tree.count(), 0u);
    EXPECT_EQ(other.count(), 3u);
    (void)insert(2);
    (void)insert(1);
    EXPECT_EQ(key_of<int>(tree.begin().node), 1);
    EXPECT_EQ(check_tree<int>(tree), "");
    EXPECT_EQ(check_tree<int>(other), "");
    other.clear(&destroy, this);
}

// The phases take the tree through dense churn on few keys, growth, draining
// and churn again, so that every rebalancing case and both ends get hit.
TEST(tree, MatchesAStandardSetThroughRandomChanges) {
    struct phase {
        int key_limit;
        int insert_percent;
        int steps;
    };
    const phase phases[] = {{15, 50, 1500}, {600, 85, 2500}, {600, 25, 3000}, {40, 55, 2000}};
    std::mt19937 random(20240611);
    tree_set<int> tree;
    std::set<int> model;
    for (const phase& each : phases) {
        std::uniform_int_distribution<int> key(0, each.key_limit);
        std::uniform_int_distribution<int> percent(0, 99);
        for (int step = 0; step < each.steps; ++step) {
            int k = key(random);
            int what = percent(random);
            if (what < each.insert_percent) {
                EXPECT_EQ(tree.insert(k), model.insert(k).second);
            } else if (what % 3 != 0 || model.empty()) {
                EXPECT_EQ(tree.erase(k), static_cast<int>(model.erase(k)));
            } else {
                // Erase by position (often an end of the tree) hands back the successor.
                auto at = what % 2 ? model.begin() : std::prev(model.end());
                if (what % 5 == 0) at = std::prev(model.upper_bound(std::max(k, *model.begin())));
                k = *at;
                auto next = tree.erase(tree.find(k));
                at = model.erase(at);
                EXPECT_EQ(next == tree.end(), at == model.end());
                if (at != model.end()) {
                    EXPECT_EQ(*next, *at);
                }
            }
            EXPECT_EQ(tree.contains(k), model.count(k) == 1);
            std::string fault = check_tree<int>(tree.base());
            ASSERT_EQ(fault, "") << "key limit " << each.key_limit << ", step " << step;
        }
    }
    std::vector<int> walked;
    for (int k : tree) walked.push_back(k);
    EXPECT_EQ(walked, std::vector<int>(model.begin(), model.end()));
}

TEST(tree, ByteStringKeysSortAsSignedBytes) {
    tree_set<byte_string> names;
    for (const char* name : {"b", "ab", "\xe9t\xe9", "a", "B", "a"}) names.insert(name);
    std::vector<std::string> seen;
    for (const byte_string& name : names) seen.emplace_back(name.text());
    EXPECT_EQ(seen, (std::vector<std::string>{"\xe9t\xe9", "B", "a", "ab", "b"}));

    tree_map<byte_string, int> versions;
    versions.insert("pkg", 1);
    EXPECT_FALSE(versions.insert("pkg", 2).second);
    EXPECT_EQ(*versions.lookup("pkg"), 1);
    EXPECT_EQ(versions.lookup("other"), nullptr);
}

TEST(tree_DeathTest, InsertNodeRequiresParentAndNode) {
    tree_base tree(&int_less, 0);
    int_node lonely{};
    const char* report =
        "tree.cpp:352: tree_iterator_base tree_base::insert_node\\(tree_node_base\\*, "
        "tree_node_base\\*, tree_node_base\\*\\): Assertion `y && z' failed";
    EXPECT_DEATH((void)tree.insert_node(nullptr, nullptr, &lonely.links), report);
    EXPECT_DEATH((void)tree.insert_node(nullptr, tree.header(), nullptr), report);
}
