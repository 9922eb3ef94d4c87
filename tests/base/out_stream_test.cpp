#include "base/out_stream.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <string>

#include "base/byte_string.h"
#include "tests/base/stream_fakes.h"

namespace {

struct format_case {
    const char* name;
    std::uint32_t flags;
    std::int32_t width;
    char fill;
    std::int32_t precision;
    std::function<void(out_stream&)> insert;
    std::string expected;
};

constexpr std::uint32_t hex_base = fmt_hex | fmt_show_base;

TEST(out_stream, formats_each_item_as_printf_would_with_one_pending_width) {
    const format_case cases[] = {
        {"prefix takes the width", hex_base, 6, ' ', 6, [](out_stream& o) { o << 255u; },
         "    0xff"},
        {"signed hex is the unsigned bits", fmt_hex, 0, ' ', 6, [](out_stream& o) { o << -1; },
         "ffffffff"},
        {"signed octal", fmt_oct, 0, ' ', 6, [](out_stream& o) { o << -1; }, "37777777777"},
        {"octal wins over hex", fmt_oct | fmt_hex, 0, ' ', 6, [](out_stream& o) { o << 8u; }, "10"},
        {"octal prefix", fmt_oct | fmt_show_base, 0, ' ', 6, [](out_stream& o) { o << 8u; }, "010"},
        {"octal prefix of zero", fmt_oct | fmt_show_base, 0, ' ', 6, [](out_stream& o) { o << 0u; },
         "00"},
        {"no prefix in decimal", fmt_dec | fmt_show_base, 0, ' ', 6,
         [](out_stream& o) { o << 255u; }, "255"},
        {"64-bit signed hex", fmt_hex, 0, ' ', 6, [](out_stream& o) { o << -1LL; },
         "ffffffffffffffff"},
        {"64-bit hex prefix", hex_base, 0, ' ', 6, [](out_stream& o) { o << 0xabcdef012345ULL; },
         "0xabcdef012345"},
        {"long is 64-bit", fmt_hex, 0, ' ', 6, [](out_stream& o) { o << -1L; }, "ffffffffffffffff"},
        {"most negative 32-bit", fmt_dec, 0, ' ', 6, [](out_stream& o) { o << INT32_MIN; },
         "-2147483648"},
        {"most negative 64-bit", fmt_dec, 0, ' ', 6, [](out_stream& o) { o << LLONG_MIN; },
         "-9223372036854775808"},
        {"largest unsigned 64-bit", fmt_dec, 0, ' ', 6, [](out_stream& o) { o << ULLONG_MAX; },
         "18446744073709551615"},
        {"right by default", fmt_dec, 5, '*', 6, [](out_stream& o) { o << 42; }, "***42"},
        {"left", fmt_dec | fmt_left, 5, ' ', 6, [](out_stream& o) { o << -42; }, "-42  "},
        {"text longer than width", fmt_dec, 1, ' ', 6, [](out_stream& o) { o << "abc"; }, "abc"},
        {"width on the first item only", fmt_dec, 4, '.', 6, [](out_stream& o) { o << 'x' << 'y'; },
         "...xy"},
        {"byte string keeps its NULs", fmt_dec, 0, ' ', 6,
         [](out_stream& o) { o << byte_string("a\0b", 3); }, std::string("a\0b", 3)},
        {"boolean digits", fmt_dec, 0, ' ', 6, [](out_stream& o) { o << true << false; }, "10"},
        {"boolean words", fmt_bool_words | fmt_left, 7, ' ', 6, [](out_stream& o) { o << false; },
         "false  "},
        {"fixed", fmt_dec, 0, ' ', 6, [](out_stream& o) { o << 3.25; }, "3.250000"},
        {"fixed precision 2", fmt_dec, 0, ' ', 2, [](out_stream& o) { o << 2.0 / 3; }, "0.67"},
        {"scientific", fmt_scientific, 0, ' ', 3, [](out_stream& o) { o << 1234.56; }, "1.235e+03"},
        {"fixed cut to 31", fmt_dec, 0, ' ', 6, [](out_stream& o) { o << 1e300; },
         "1000000000000000052504760255204"},
        {"missing text", fmt_dec, 2, ' ', 6,
         [](out_stream& o) { o << static_cast<const char*>(nullptr); }, "  "},
    };
    for (const auto& c : cases) {
        text_sink sink(8);
        out_stream out(&sink);
        out.set_flags(c.flags);
        out.set_width(c.width);
        out.set_fill(c.fill);
        out.set_precision(c.precision);
        c.insert(out);
        EXPECT_EQ(sink.all(), c.expected) << c.name;
        EXPECT_EQ(out.state(), 0u) << c.name;
        EXPECT_EQ(out.width(), 0) << c.name;
        EXPECT_EQ(out.flags() & fmt_adjust_mask, fmt_adjust_reset) << c.name;
    }
}

TEST(out_stream, refused_item_still_uses_up_width_and_adjustment) {
    text_sink sink;
    out_stream out(&sink);
    out.set_flags(fmt_dec | fmt_left);
    out.set_width(9);
    out.add_state(eof_bit);
    out << 5 << "x";
    EXPECT_EQ(sink.all(), "");
    EXPECT_EQ(out.width(), 0);
    EXPECT_EQ(out.flags(), fmt_dec | fmt_adjust_reset);
    EXPECT_EQ(out.state(), eof_bit);
}

TEST(out_stream, manipulators_choose_the_base) {
    text_sink sink;
    out_stream out(&sink);
    out << hex << 255u << ' ' << oct << 8 << ' ' << dec << 10;
    EXPECT_EQ(sink.all(), "ff 10 10");
    out << end_line;
    EXPECT_EQ(sink.all(), "ff 10 10\n");
    EXPECT_EQ(sink.syncs, 1);
}

TEST(out_stream, a_failing_buffer_makes_the_stream_bad_and_stops_it) {
    text_sink sink;
    sink.accept_limit = 3;
    out_stream out(&sink);
    out.write("abcdef", 6);
    EXPECT_EQ(out.state(), bad_bit);
    out.put('g');
    EXPECT_EQ(sink.all(), "abc");

    text_sink refusing;
    refusing.accept_limit = 0;
    out_stream single(&refusing);
    single.put('\xff');
    EXPECT_EQ(single.state(), bad_bit);
}

TEST(out_stream, byte_0xff_is_no_end_of_file_marker) {
    text_sink sink;
    out_stream out(&sink);
    out.put('\xff').write("\xff\xff", 2);
    EXPECT_EQ(out.state(), 0u);
    EXPECT_EQ(sink.all(), "\xff\xff\xff");
}

TEST(out_stream, failed_sync_is_bad) {
    text_sink sink;
    sink.sync_result = -1;
    out_stream out(&sink);
    out.flush();
    EXPECT_EQ(out.state(), bad_bit);
    out.flush();
    EXPECT_EQ(sink.syncs, 1);
}

TEST(out_stream, seek_and_tell_ignore_the_end_of_input_bit) {
    text_sink sink;
    out_stream out(&sink);
    out.add_state(eof_bit);
    EXPECT_EQ(out.tell_put(), 77);
    EXPECT_EQ(sink.last_seek.offset, 0);
    EXPECT_EQ(sink.last_seek.direction, seek_current);
    EXPECT_EQ(sink.last_seek.which, side_out);
    out.seek_put(5, seek_end);
    EXPECT_EQ(sink.last_seek.offset, 5);
    EXPECT_EQ(out.state(), eof_bit);

    out.add_state(fail_bit);
    EXPECT_EQ(out.tell_put(), -1);
    // The base buffer cannot seek: the stream records the failure.
    buffer_base fixed;
    out_stream plain(&fixed);
    plain.seek_put(3);
    EXPECT_EQ(plain.state(), fail_bit);
}

TEST(out_stream, without_a_buffer_the_stream_stays_bad) {
    out_stream out;
    EXPECT_EQ(out.state(), bad_bit);
    out.clear();
    EXPECT_EQ(out.state(), bad_bit);
    out << "x" << 1;
    out.flush();
    EXPECT_EQ(out.tell_put(), -1);
    EXPECT_EQ(out.state(), bad_bit);
    text_sink sink;
    out.attach(&sink);
    EXPECT_EQ(out.state(), 0u);
}

TEST(out_stream, inserting_a_buffer_copies_all_it_delivers) {
    std::string text(10000, '\0');
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(i * 7);
    for (std::size_t step : {std::size_t{1}, std::size_t{4096}, std::size_t{20000}}) {
        text_source source(text, step);
        text_sink sink(100);
        out_stream out(&sink);
        out << source;
        EXPECT_EQ(sink.all(), text) << step;
        EXPECT_EQ(out.state(), 0u);
    }
}

}  // namespace
