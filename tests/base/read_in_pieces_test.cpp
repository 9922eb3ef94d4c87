#include "base/read_in_pieces.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "base/in_stream.h"
#include "tests/base/allocation_log.h"
#include "tests/base/stream_fakes.h"

namespace {

std::string text(const byte_string& bytes) {
    return std::string(bytes.data(), bytes.length());
}

// Crosses several pieces, so a piece that is dropped or written twice shows.
const std::string long_text = [] {
    std::string bytes;
    for (int i = 0; i < 10000; ++i) bytes += static_cast<char>('a' + i % 26);
    return bytes;
}();

TEST(read_in_pieces, appends_the_bytes_asked_for_and_keeps_at_most_keep) {
    struct case_ {
        const char* what;
        std::uint32_t count;
        std::size_t keep;
        bool whole;
        std::size_t appended;
    };
    const case_ cases[] = {
        {"nothing asked", 0, static_cast<std::size_t>(-1), true, 0},
        {"all of it", 10000, static_cast<std::size_t>(-1), true, 10000},
        {"a part of it", 5000, static_cast<std::size_t>(-1), true, 5000},
        {"all of it, keeping a little", 10000, 100, true, 100},
        {"all of it, keeping nothing", 10000, 0, true, 0},
        {"more than there is", 12000, static_cast<std::size_t>(-1), false, 10000},
        {"more than there is, keeping a little", 12000, 100, false, 100},
    };
    for (const case_& c : cases) {
        SCOPED_TRACE(c.what);
        text_source source(long_text, 1500);
        in_stream from(&source);
        byte_string into("before:");
        EXPECT_EQ(read_in_pieces(from, c.count, into, c.keep), c.whole);
        EXPECT_EQ(text(into), "before:" + long_text.substr(0, c.appended));
    }
}

TEST(read_in_pieces, a_huge_count_costs_only_what_arrives) {
    text_source source("twelve bytes");
    in_stream from(&source);
    byte_string into;
    allocation_log log;
    EXPECT_FALSE(read_in_pieces(from, 0xfffffff0u, into));
    const std::vector<std::size_t> sizes = log.take();
    ASSERT_FALSE(sizes.empty());
    EXPECT_LT(*std::max_element(sizes.begin(), sizes.end()), 4096u);
    EXPECT_EQ(text(into), "twelve bytes");
}

}  // namespace
