#include "base/buffer_base.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/base/stream_fakes.h"

namespace {

TEST(buffer_base, base_slots_do_nothing) {
    buffer_base buffer;
    char byte = 0;
    EXPECT_EQ(buffer.set_buffer(&byte, 1), &buffer);
    EXPECT_EQ(buffer.seek_off(0, 1, 24), -1);
    EXPECT_EQ(buffer.seek_pos(0, 24), -1);
    EXPECT_EQ(buffer.sync(), 0);
    EXPECT_EQ(buffer.available(), 0);
    EXPECT_EQ(buffer.take_char(), -1);
    EXPECT_EQ(buffer.peek_char(), -1);
    EXPECT_EQ(buffer.emit_char('a'), -1);
    EXPECT_EQ(buffer.get_n(&byte, 1), 0);
    EXPECT_EQ(buffer.put_n("a", 1), 0);
    EXPECT_EQ(buffer.unget_char(), -1);
}

TEST(buffer_base, get_n_refills_across_many_areas) {
    text_source source("abcdefghij", 3);
    char got[16] = {};
    EXPECT_EQ(source.get_n(got, 8), 8);
    EXPECT_EQ(std::string(got, 8), "abcdefgh");
    EXPECT_EQ(source.get_n(got, 5), 2);
    EXPECT_EQ(std::string(got, 2), "ij");
    EXPECT_EQ(source.get_n(got, 1), 0);
}

TEST(buffer_base, put_n_reports_the_bytes_placed_before_overflow_refused) {
    text_sink sink(4);
    sink.accept_limit = 6;
    // Four bytes fill the area, overflow drains it and takes the fifth, four
    // more fill it again, and the next overflow finds the limit passed.
    EXPECT_EQ(sink.put_n("abcdefghijkl", 12), 9);
    EXPECT_EQ(sink.all(), "abcdefghi");
}

TEST(buffer_base, bytes_0x80_and_up_come_back_as_positive_values) {
    text_source source("\xff\x80", 1);
    EXPECT_EQ(source.peek_char(), 0xff);
    EXPECT_EQ(source.advance_char(), 0x80);
    EXPECT_EQ(source.take_char(), 0x80);
    EXPECT_EQ(source.advance_char(), -1);
}

TEST(buffer_base, push_back_only_of_the_byte_just_taken) {
    text_source source("xy", 1);
    EXPECT_EQ(source.push_back_char('x'), -1);
    EXPECT_EQ(source.take_char(), 'x');
    EXPECT_EQ(source.push_back_char('z'), -1);
    EXPECT_EQ(source.push_back_char('x'), 'x');
    EXPECT_EQ(source.take_char(), 'x');
    EXPECT_EQ(source.take_char(), 'y');
    EXPECT_EQ(source.unget_char(), 'y');
    EXPECT_EQ(source.unget_char(), 'x');
    EXPECT_EQ(source.unget_char(), -1);
    EXPECT_EQ(source.rest(), "xy");
}

}  // namespace
