#include "package/version.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "package/package_record.h"
#include "package/relation.h"

namespace {

struct text_case {
    std::uint32_t version;
    const char* text;
};

TEST(version_text, writes_each_stage) {
    const text_case cases[] = {
        {make_version(2, 9, 'f', 5), "2.9.5"},
        {make_version(2, 9, 'f', 0), "2.9"},
        {make_version(3, 0, 'b', 0), "3.0beta"},
        {make_version(3, 0, 'c', 3), "3.0rc3"},
        {make_version(3, 0, 'a', 42), "3.0alpha42"},
        {make_version(3, 0, 'a', 0), "3.0alpha"},
        {0, "0.0"},
        // Stages without a word print their number straight after the minor.
        {make_version(3, 0, 0, 0), "3.0"},
        {make_version(1, 2, 'x', 7), "1.27"},
        {make_version(255, 255, 'f', 255), "255.255.255"},
        {0xffffffffu, "255.255255"},
    };
    for (const text_case& c : cases) {
        EXPECT_STREQ(version_text(c.version), c.text) << std::hex << c.version;
    }
}

TEST(parse_version, accepts_every_stage) {
    const text_case cases[] = {
        {make_version(2, 9, 'f', 5), "2.9.5"},
        {make_version(2, 9, 'f', 0), "2.9"},
        {make_version(2, 9, 'f', 0), "2.9.0"},
        {make_version(3, 0, 'b', 0), "3.0beta"},
        {make_version(3, 0, 'c', 3), "3.0rc3"},
        {make_version(3, 0, 'c', 0), "3.0rc0"},
        {make_version(3, 0, 'a', 42), "3.0alpha42"},
        {make_version(3, 0, 'a', 0), "3.0alpha"},
        {make_version(0, 0, 'f', 0), "0.0"},
        {make_version(10, 20, 'b', 100), "10.20beta100"},
        {make_version(255, 255, 'f', 255), "255.255.255"},
    };
    for (const text_case& c : cases) {
        std::uint32_t parsed = 0;
        ASSERT_TRUE(parse_version(c.text, &parsed)) << c.text;
        EXPECT_EQ(parsed, c.version) << c.text;
    }
}

TEST(parse_version, rejects_what_names_no_version) {
    const char* const cases[] = {
        "",        "3",        "3.",      ".3",         "3..0",         "3.0.",        "3.0.1.2",
        "256.0",   "1.256",    "1.0.256", "1.0beta256", "4294967296.0", "+3.0",        "-3.0",
        "3.-1",    " 3.0",     "3.0 ",    "3.0\n",      "3 .0",         "02.9",        "2.09",
        "2.9.05",  "3.0gamma", "3.0Beta", "3.0beta-1",  "3.0rc1x",      "3.0betabeta", "3.0.beta",
        "3.0rc.1", "v3.0",     "3,0",     "0x3.0",
    };
    for (const char* text : cases) {
        std::uint32_t parsed = 0x12345678u;
        EXPECT_FALSE(parse_version(text, &parsed)) << '"' << text << '"';
        EXPECT_EQ(parsed, 0x12345678u) << '"' << text << '"';
    }
    std::uint32_t parsed = 0;
    EXPECT_FALSE(parse_version(nullptr, &parsed));
}

// Every version of the four stages survives text and back, and the text of a
// parsed version is the shortest form of what was typed.
TEST(parse_version, round_trips_through_version_text) {
    const unsigned fields[] = {0, 1, 9, 10, 99, 100, 199, 200, 255};
    const unsigned char stages[] = {'a', 'b', 'c', 'f'};
    for (unsigned major : fields) {
        for (unsigned minor : fields) {
            for (unsigned char stage : stages) {
                for (unsigned number = 0; number < 256; ++number) {
                    const std::uint32_t v = make_version(major, minor, stage, number);
                    const std::string text = version_text(v);
                    std::uint32_t parsed = 0;
                    ASSERT_TRUE(parse_version(text.c_str(), &parsed)) << text;
                    ASSERT_EQ(parsed, v) << text;
                }
            }
        }
    }
    struct alias_case {
        const char* typed;
        const char* shortest;
    };
    const alias_case aliases[] = {
        {"2.9.0", "2.9"},
        {"3.0rc0", "3.0rc"},
        {"3.0alpha0", "3.0alpha"},
        {"3.0beta0", "3.0beta"},
    };
    for (const alias_case& c : aliases) {
        std::uint32_t parsed = 0;
        ASSERT_TRUE(parse_version(c.typed, &parsed)) << c.typed;
        EXPECT_STREQ(version_text(parsed), c.shortest);
    }
}

// A version of a stage other than a, b, c and f prints like a final release
// and reads back as one.
TEST(parse_version, reads_a_wordless_stage_as_final) {
    std::uint32_t parsed = 0;
    ASSERT_TRUE(parse_version(version_text(make_version(3, 0, 0, 0)), &parsed));
    EXPECT_EQ(parsed, make_version(3, 0, 'f', 0));
}

TEST(labels, add_the_version_only_when_there_is_one) {
    relation bounded{"libc", make_version(2, 9, 'f', 5), 0, 0};
    relation open{"libc", 0, make_version(3, 0, 'f', 0), 0};
    EXPECT_EQ(std::string(relation_label(bounded).text()), "libc-2.9.5");
    EXPECT_EQ(std::string(relation_label(open).text()), "libc");

    installed_package p;
    p.name = "kernel";
    p.version = make_version(3, 0, 'c', 3);
    EXPECT_EQ(std::string(package_label(p).text()), "kernel-3.0rc3");
    p.version = 0;
    EXPECT_EQ(std::string(package_label(p).text()), "kernel-0.0");

    p.bundle_name = "base";
    EXPECT_EQ(std::string(bundle_label(p).text()), "base");
    p.bundle_version = make_version(1, 2, 'f', 0);
    EXPECT_EQ(std::string(bundle_label(p).text()), "base-1.2");
}

}  // namespace
