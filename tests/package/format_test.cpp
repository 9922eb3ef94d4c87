#include "package/format.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(format, name_field_length_stops_at_the_first_nul_or_at_16) {
    struct case_ {
        const char* field;
        int length;
    };
    // The 17th byte of each field lies outside it and must not be counted.
    const case_ cases[] = {
        {"\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0X", 0},
        {"base\0\0\0\0\0\0\0\0\0\0\0\0X", 4},
        {"a\0bc\0\0\0\0\0\0\0\0\0\0\0\0X", 1},
        {"sixteen-byte-nam"
         "X",
         16},
    };
    for (const case_& c : cases) {
        SCOPED_TRACE(c.length);
        EXPECT_EQ(name_field_length(reinterpret_cast<const unsigned char*>(c.field)), c.length);
    }
}
