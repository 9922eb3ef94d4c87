#include <gtest/gtest.h>

#include <string>

#include "package/format.h"
#include "package/package_writer.h"
#include "tests/support/container_bytes.h"

using fixture::container_bytes;
using fixture::part_bytes;

TEST(package_writer, one_part_makes_the_46_byte_file) {
    const std::string path = fixture::scratch_path("one.vsk");
    const std::string record = fixture::header_record_bytes("base", 0x01020300, 7);
    {
        package_writer writer(path.c_str(), false);
        writer.begin_part(part_package);
        writer.write(record.data(), 32);
        writer.end_part();
        writer.finish();
        EXPECT_EQ(writer.state(), 0u);
    }
    const std::string bytes = fixture::read_file(path);
    ASSERT_EQ(bytes.size(), 46u);
    EXPECT_EQ(load_u32(reinterpret_cast<const unsigned char*>(bytes.data()) + 4), 38u);
    EXPECT_EQ(load_u32(reinterpret_cast<const unsigned char*>(bytes.data()) + 10), 32u);
    EXPECT_EQ(bytes, container_bytes(part_bytes(part_package, record)));
}

TEST(package_writer, lays_out_parts_as_the_reader_expects) {
    struct case_ {
        const char* what;
        bool untracked;
        bool call_finish;
        bool end_parts;
    };
    const case_ cases[] = {
        {"tracked, finished", false, true, true},
        {"untracked, finished", true, true, true},
        {"finished by close", false, false, true},
        {"open parts ended by the next and by finish", false, true, false},
        {"open parts ended by the next and by close", true, false, false},
    };
    const std::string script = "#!/bin/bash\necho installed\n";
    const std::string archive(5000, 'a');
    for (const case_& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = fixture::scratch_path("parts.vsk");
        {
            package_writer writer(path.c_str(), c.untracked);
            writer.begin_part(part_package);
            if (c.end_parts) writer.end_part();
            writer.begin_part(part_oninstall);
            writer << script.c_str();
            if (c.end_parts) writer.end_part();
            writer.begin_part(part_files);
            writer.write(archive.data(), static_cast<std::int64_t>(archive.size()));
            if (c.end_parts) writer.end_part();
            if (c.call_finish) writer.finish();
            writer.close();
        }
        const std::string expected =
            container_bytes(part_bytes(part_package, "") + part_bytes(part_oninstall, script) +
                                part_bytes(part_files, archive),
                            c.untracked ? magic_untracked : magic_tracked);
        EXPECT_EQ(fixture::read_file(path), expected);
    }
}

TEST(package_writer, container_without_parts_is_a_whole_header) {
    const std::string path = fixture::scratch_path("none.vsk");
    { package_writer writer(path.c_str(), false); }
    EXPECT_EQ(fixture::read_file(path), container_bytes(""));
}

TEST(package_writer, unopenable_path_leaves_it_bad_and_harmless) {
    package_writer writer("/nonexistent-directory/x.vsk", false);
    writer.begin_part(part_package).end_part().finish();
    EXPECT_TRUE(writer.state() & bad_bit);
    EXPECT_FALSE(writer.is_open());
}
