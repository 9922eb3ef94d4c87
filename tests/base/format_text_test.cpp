#include "base/format_text.h"

#include <gtest/gtest.h>

#include <vector>

#include "allocation_log.h"

TEST(format_text, AllocatesExactlyTheText) {
    allocation_log log;
    byte_string text = format_text("%s-%u", "pkg", 12u);
    byte_string empty = format_text("%s", "");
    EXPECT_EQ(log.take(), std::vector<std::size_t>{7});
    EXPECT_EQ(text, "pkg-12");
    EXPECT_FALSE(empty.has_storage());
    byte_string long_text = format_text("%300d", 1);
    EXPECT_EQ(long_text.length(), 300u);
    EXPECT_EQ(long_text[299], '1');
}
