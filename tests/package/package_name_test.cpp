#include "package/package_name.h"

#include <gtest/gtest.h>

namespace {

TEST(valid_package_name, refuses_what_cannot_be_one_entry_directory) {
    struct case_ {
        const char* name;
        bool valid;
    };
    const case_ cases[] = {
        {"base", true},        {"a.b-c_1", true},  {".hidden", true},
        {"...", true},         {"", false},        {".", false},
        {"..", false},         {"a/b", false},     {"/base", false},
        {"base/", false},      {"../x", false},    {"a b", true},
        {"caf\xc3\xa9", true}, {"\x80", true},     {"zz\ninstalled", false},
        {"a\tb", false},       {"\x1b[2J", false}, {"a\x7f", false},
        {"\x1f", false},
    };
    for (const case_& c : cases) {
        EXPECT_EQ(valid_package_name(byte_string(c.name)), c.valid) << '"' << c.name << '"';
    }
    EXPECT_FALSE(valid_package_name(byte_string("a\0b", 3)));
}

}  // namespace
