#include "base/in_stream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "base/byte_string.h"
#include "tests/base/stream_fakes.h"

namespace {

constexpr std::uint32_t ended = eof_bit | fail_bit;

// Extracts one value of type T from text with the given base and width and
// reports the value, the state and the input left behind.
template <typename T>
struct extraction {
    const char* text;
    std::uint32_t base;
    std::int32_t width;
    T value;
    std::uint32_t state;
    const char* rest;
};

template <typename T>
void check_extractions(const char* type, std::initializer_list<extraction<T>> cases) {
    for (const auto& c : cases) {
        // One byte per refill, so every push-back crosses a refill.
        text_source source(c.text, 1);
        in_stream in(&source);
        in.set_base(c.base);
        in.set_width(c.width);
        T value{};
        in >> value;
        std::string label = std::string(type) + " from '" + c.text + "'";
        EXPECT_EQ(value, c.value) << label;
        EXPECT_EQ(in.state(), c.state) << label;
        EXPECT_EQ(in.width(), c.width) << label;
        EXPECT_EQ(source.rest(), c.rest) << label;
    }
}

TEST(in_stream, extracts_32_bit_integers_as_strtol_on_a_32_bit_target) {
    check_extractions<std::int32_t>("int32",
                                    {
                                        {"  42 x", fmt_dec, 0, 42, 0, " x"},
                                        {"42", fmt_dec, 0, 42, eof_bit, ""},
                                        {"+7\n", fmt_dec, 0, 7, 0, "\n"},
                                        {"-2147483648", fmt_dec, 0, INT32_MIN, eof_bit, ""},
                                        {"-2147483649", fmt_dec, 0, INT32_MIN, eof_bit, ""},
                                        {"12345678901234567890", fmt_dec, 0, INT32_MAX, 0, "67890"},
                                        {"12345", fmt_dec, 3, 123, 0, "45"},
                                        {"12345", fmt_dec, 40, 12345, eof_bit, ""},
                                        {"0xff ", fmt_hex, 0, 255, 0, " "},
                                        {"ff", fmt_hex, 0, 255, eof_bit, ""},
                                        {"0x", fmt_hex, 0, 0, ended, ""},
                                        {"17", fmt_oct, 0, 15, eof_bit, ""},
                                        {"19 ", fmt_oct, 0, 1, fail_bit, " "},
                                        {"\xff", fmt_dec, 0, 0, eof_bit | fail_bit, ""},
                                        {"", fmt_dec, 0, 0, ended, ""},
                                        {" \t\n\v\f\r", fmt_dec, 0, 0, ended, ""},
                                        {"5\xa0", fmt_dec, 0, 5, eof_bit | fail_bit, ""},
                                    });
}

TEST(in_stream, extracts_unsigned_with_negation_and_saturation) {
    check_extractions<std::uint32_t>("uint32",
                                     {
                                         {"12abc", fmt_dec, 0, 12, eof_bit | fail_bit, ""},
                                         {"12abc z", fmt_dec, 0, 12, fail_bit, " z"},
                                         {"-1", fmt_dec, 0, 4294967295u, eof_bit, ""},
                                         {"-4294967295", fmt_dec, 0, 1, eof_bit, ""},
                                         {"-4294967296", fmt_dec, 0, 4294967295u, eof_bit, ""},
                                         {"4294967296", fmt_dec, 0, 4294967295u, eof_bit, ""},
                                         {"FFFFFFFF", fmt_hex, 0, 4294967295u, eof_bit, ""},
                                     });
}

TEST(in_stream, extracts_64_bit_integers_from_words_of_15_characters) {
    check_extractions<long long>("int64",
                                 {
                                     {"-123456789012345", fmt_dec, 0, -12345678901234LL, 0, "5"},
                                     {"7fffffffffff", fmt_hex, 0, 0x7fffffffffffLL, eof_bit, ""},
                                 });
    check_extractions<unsigned long long>(
        "uint64", {
                      {"-1", fmt_dec, 0, ~0ULL, eof_bit, ""},
                      {"0x123456789abcd", fmt_hex, 0, 0x123456789abcdULL, 0, ""},
                  });
    check_extractions<long>("long", {{"-99 ", fmt_dec, 0, -99L, 0, " "}});
    check_extractions<unsigned long>("unsigned long", {{"077", fmt_oct, 0, 63UL, eof_bit, ""}});
}

TEST(in_stream, extracts_floating_point_words) {
    check_extractions<float>("float", {
                                          {"1.5 ", fmt_dec, 0, 1.5f, 0, " "},
                                          {"2.5x", fmt_dec, 0, 2.5f, eof_bit | fail_bit, ""},
                                      });
    check_extractions<double>(
        "double", {
                      {"2.5e3", fmt_dec, 0, 2500.0, eof_bit, ""},
                      {"1e999", fmt_dec, 0, HUGE_VAL, eof_bit, ""},
                      {"0.000000000000000000000000000000125", fmt_dec, 0, 1.25e-31, eof_bit, ""},
                  });
    check_extractions<long double>("long double", {{"-0.25", fmt_dec, 0, -0.25L, eof_bit, ""}});
}

TEST(in_stream, number_extraction_does_nothing_once_the_state_is_set) {
    text_source source("5", 1);
    in_stream in(&source);
    in.add_state(fail_bit);
    std::int32_t value = 9;
    in >> value;
    EXPECT_EQ(value, 9);
    EXPECT_EQ(in.state(), fail_bit);
    EXPECT_EQ(source.rest(), "5");
}

TEST(in_stream, words_are_split_at_posix_whitespace_only) {
    text_source source(
        " \xff\x80\xa0"
        "a\tb\v word\0x",
        1);
    in_stream in(&source);
    byte_string word;
    in >> word;
    EXPECT_EQ(word, byte_string("\xff\x80\xa0"
                                "a"));
    in >> word >> word;
    EXPECT_EQ(word, "word");
    EXPECT_EQ(in.state(), eof_bit);
    in >> word;
    EXPECT_TRUE(word.empty());
    EXPECT_EQ(in.state(), ended);
}

TEST(in_stream, word_keeps_nul_bytes_and_honours_the_width) {
    text_source source(std::string("ab\0cdef gh", 10), 3);
    in_stream in(&source);
    byte_string word;
    in.set_width(4);
    in >> word;
    EXPECT_EQ(word, byte_string("ab\0c", 4));
    EXPECT_EQ(in.width(), 4);
    in.set_width(0);
    in >> word;
    EXPECT_EQ(word, "def");
    EXPECT_EQ(in.state(), 0u);
}

TEST(in_stream, skip_ws_stops_before_the_first_other_byte) {
    text_source source("  \r\n\tx", 2);
    in_stream in(&source);
    in.skip_ws();
    EXPECT_EQ(in.state(), 0u);
    EXPECT_EQ(source.rest(), "x");
    in.skip_ws();
    EXPECT_EQ(in.state(), eof_bit);
    in.skip_ws();
    EXPECT_EQ(in.state(), eof_bit | fail_bit);
}

TEST(in_stream, get_line_splits_at_the_delimiter_and_marks_an_unfinished_last_line) {
    struct line_case {
        const char* text;
        char delimiter;
        std::initializer_list<const char*> good_lines;
        const char* last_line;
    };
    const line_case cases[] = {
        {"", '\n', {}, ""},
        {"one\ntwo\n", '\n', {"one", "two"}, ""},
        {"one\n\nlast", '\n', {"one", ""}, "last"},
        {"a:b:c", ':', {"a", "b"}, "c"},
    };
    for (const auto& c : cases) {
        text_source source(c.text, 2);
        in_stream in(&source);
        byte_string line("stale");
        for (const char* expected : c.good_lines) {
            in.get_line(line, c.delimiter);
            EXPECT_EQ(line, expected) << c.text;
            EXPECT_EQ(in.state(), 0u) << c.text;
        }
        in.get_line(line, c.delimiter);
        EXPECT_EQ(line, c.last_line) << c.text;
        EXPECT_EQ(in.state(), ended) << c.text;
        in.get_line(line, c.delimiter);
        EXPECT_TRUE(line.empty());
    }
}

TEST(in_stream, get_line_gathers_long_lines_whole) {
    std::string long_line(100000, 'q');
    text_source source(long_line + "\nnext", 4096);
    in_stream in(&source);
    byte_string line;
    in.get_line(line);
    EXPECT_EQ(std::string(line.data(), line.length()), long_line);
    EXPECT_EQ(source.rest(), "next");
}

TEST(in_stream, short_read_keeps_what_arrived) {
    text_source source("0123456789", 4);
    in_stream in(&source);
    char got[16] = {};
    in.read(got, 6);
    EXPECT_EQ(in.last_count(), 6);
    EXPECT_EQ(in.state(), 0u);
    in.read(got, 10);
    EXPECT_EQ(in.last_count(), 4);
    EXPECT_EQ(std::string(got, 4), "6789");
    EXPECT_EQ(in.state(), ended);
    in.read(got, 1);
    EXPECT_EQ(in.last_count(), 0);
}

TEST(in_stream, seeking_asks_the_buffer_for_the_input_side) {
    text_sink fake;
    in_stream in(&fake);
    EXPECT_EQ(in.tell_get(), 77);
    EXPECT_EQ(fake.last_seek.which, side_in);
    in.add_state(eof_bit);
    EXPECT_EQ(in.tell_get(), -1);
    buffer_base fixed;
    in_stream plain(&fixed);
    plain.seek_get(0, seek_begin);
    EXPECT_EQ(plain.state(), fail_bit);
}

}  // namespace
