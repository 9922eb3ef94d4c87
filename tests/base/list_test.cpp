#include "base/list.h"

#include <gtest/gtest.h>

#include <vector>

#include "allocation_log.h"

namespace {

std::vector<int> forward(const list<int>& numbers) {
    std::vector<int> seen;
    for (int value : numbers) seen.push_back(value);
    return seen;
}

std::vector<int> backward(const list<int>& numbers) {
    std::vector<int> seen;
    for (auto at = numbers.end(); at != numbers.begin();) seen.push_back(*--at);
    return seen;
}

}  // namespace

TEST(list, HeaderComesWithTheList) {
    allocation_log log;
    list_base empty;
    EXPECT_EQ(log.take(), std::vector<std::size_t>{sizeof(list_node_base)});
    EXPECT_TRUE(empty.empty());
    EXPECT_EQ(empty.first(), empty.header());
    EXPECT_EQ(empty.last(), empty.header());
    EXPECT_EQ(empty.size(), 0u);
}

TEST(list, LinksBothWays) {
    list<int> numbers;
    numbers.push_back(2);
    numbers.push_front(1);
    numbers.push_back(4);
    auto three = numbers.insert(++ ++numbers.begin(), 3);
    EXPECT_EQ(forward(numbers), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(backward(numbers), (std::vector<int>{4, 3, 2, 1}));
    EXPECT_EQ(*numbers.erase(three), 4);
    EXPECT_EQ(numbers.size(), 3u);
    EXPECT_EQ(backward(numbers), (std::vector<int>{4, 2, 1}));
}

TEST(list, UnlinksAStretchAndSwaps) {
    list_base links;
    list_node_base nodes[5];
    for (list_node_base& node : nodes) list_base::insert_before(links.header(), &node);
    list_base::unlink(&nodes[1], &nodes[4]);
    EXPECT_EQ(links.size(), 2u);
    EXPECT_EQ(nodes[0].next, &nodes[4]);
    EXPECT_EQ(nodes[4].previous, &nodes[0]);
    list_base::unlink(&nodes[0], &nodes[0]);
    EXPECT_EQ(links.size(), 2u);

    list_base other;
    links.swap(other);
    EXPECT_TRUE(links.empty());
    EXPECT_EQ(other.first(), &nodes[0]);
    EXPECT_EQ(other.last(), &nodes[4]);
}
