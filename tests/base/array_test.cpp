#include "base/array.h"

#include <gtest/gtest.h>

#include <vector>

#include "allocation_log.h"
#include "base/byte_string.h"
#include "base/format_text.h"

namespace {

using sizes = std::vector<std::size_t>;

struct twelve_bytes {
    int a, b, c;
};
static_assert(sizeof(twelve_bytes) == 12);

std::vector<int> values_of(const array<int>& numbers) {
    return std::vector<int>(numbers.begin(), numbers.end());
}

}  // namespace

TEST(array, GrowthFollowsSizeRequestAndEightElementFloor) {
    allocation_log log;
    array<twelve_bytes> records;
    for (int i = 0; i < 9; ++i) records.push_back({i, i, i});
    EXPECT_EQ(log.take(), (sizes{96, 192}));
    EXPECT_EQ(records[8].c, 8);

    // A request beyond twice the size is taken as it is.
    array<int> numbers;
    numbers.reserve(100);
    numbers.push_back(1);
    numbers.reserve(50);
    EXPECT_EQ(log.take(), sizes{400});
}

TEST(array, InsertAndEraseShiftTheTail) {
    array<int> numbers;
    for (int value : {1, 2, 3}) numbers.push_back(value);
    numbers.insert(0, 0);
    numbers.insert(2, 9);
    numbers.insert(numbers.size(), 4);
    EXPECT_EQ(values_of(numbers), (std::vector<int>{0, 1, 9, 2, 3, 4}));
    numbers.erase(2);
    numbers.erase(0);
    numbers.erase(numbers.size() - 1);
    EXPECT_EQ(values_of(numbers), (std::vector<int>{1, 2, 3}));
    numbers.pop_back();
    EXPECT_EQ(values_of(numbers), (std::vector<int>{1, 2}));
}

// Strings move bitwise from one allocation to the next and must come out
// whole; pushing an element of the array itself must survive the growth.
TEST(array, RelocatesStringsBitwise) {
    array<byte_string> names;
    for (int i = 0; i < 16; ++i) names.push_back(format_text("name-%d", i));
    // The seventeenth element moves the storage while it is being copied.
    names.push_back(names[0]);
    names.insert(1, byte_string("inserted"));
    names.erase(0);
    EXPECT_EQ(names.size(), 17u);
    EXPECT_EQ(names[0], "inserted");
    EXPECT_EQ(names[15], "name-15");
    EXPECT_EQ(names[16], "name-0");
    array<byte_string> copy(names);
    names.clear();
    array<byte_string> moved(static_cast<array<byte_string>&&>(copy));
    EXPECT_EQ(moved[15], "name-15");
    EXPECT_TRUE(copy.empty());
    EXPECT_TRUE(names.empty());
}
