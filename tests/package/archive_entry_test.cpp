#include "package/archive_entry.h"

#include <gtest/gtest.h>

#include <string>

#include "base/byte_string.h"
#include "base/in_stream.h"
#include "base/out_stream.h"
#include "tests/support/container_bytes.h"
#include "tests/support/memory_buffers.h"

TEST(archive_entry, reads_entries_and_leaves_the_data_in_the_stream) {
    const std::string archive =
        fixture::entry_bytes(0x81ed, "/sbin/route", "#!/bin/sh\n", 0, 7, 1700000000) +
        fixture::entry_bytes(0xa1ff, "/lib/libz.so", "libz.so.1", 1, 2, 3) +
        fixture::entry_bytes(0x2190, "dev/ttyS0", fixture::le32(0x0440)) +
        fixture::entry_bytes(0x41ed, "/var/pdb", "");
    struct expected {
        std::uint16_t mode, owner, group;
        std::uint32_t time;
        const char* name;
        std::string data;
    };
    const expected entries[] = {
        {0x81ed, 0, 7, 1700000000, "/sbin/route", "#!/bin/sh\n"},
        {0xa1ff, 1, 2, 3, "/lib/libz.so", "libz.so.1"},
        {0x2190, 0, 0, 0, "dev/ttyS0", fixture::le32(0x0440)},
        {0x41ed, 0, 0, 0, "/var/pdb", ""},
    };
    memory_source source(archive);
    in_stream in(&source);
    archive_entry entry;
    for (const expected& e : entries) {
        SCOPED_TRACE(e.name);
        ASSERT_EQ(read_entry(in, entry), entry_read::whole);
        EXPECT_EQ(entry.mode, e.mode);
        EXPECT_EQ(entry.owner, e.owner);
        EXPECT_EQ(entry.group, e.group);
        EXPECT_EQ(entry.time, e.time);
        EXPECT_EQ(entry.name, e.name);
        ASSERT_EQ(entry.size, e.data.size());
        std::string data(entry.size, '\0');
        in.read(data.data(), entry.size);
        EXPECT_EQ(data, e.data);
    }
    EXPECT_EQ(entries[0].mode & entry_type_mask, entry_regular);
    EXPECT_EQ(entry.type(), entry_directory);
    EXPECT_EQ(read_entry(in, entry), entry_read::end);
}

TEST(archive_entry, cut_header_ends_the_archive_and_cut_name_is_damage) {
    const std::string whole = fixture::entry_bytes(0x81a4, "/etc/hosts", "");
    const struct {
        std::size_t keep;
        entry_read expected;
    } cases[] = {
        {0, entry_read::end},
        {29, entry_read::end},
        {30, entry_read::broken},
        {whole.size() - 1, entry_read::broken},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keep);
        memory_source source(whole.substr(0, c.keep));
        in_stream in(&source);
        archive_entry entry;
        EXPECT_EQ(read_entry(in, entry), c.expected);
        EXPECT_TRUE(in.state() & eof_bit);
    }
}

TEST(archive_entry, writes_the_layout_readers_expect_with_zeros_elsewhere) {
    archive_entry entry;
    entry.mode = 0x81a4;
    entry.owner = 0x1234;
    entry.group = 0x5678;
    entry.time = 0x01020304;
    entry.size = 5;
    entry.name = "/etc/issue";
    memory_sink sink;
    out_stream out(&sink);
    write_entry(out, entry);
    out.write("hello", 5);
    EXPECT_EQ(out.state(), 0u);
    EXPECT_EQ(sink.bytes(),
              fixture::entry_bytes(0x81a4, "/etc/issue", "hello", 0x1234, 0x5678, 0x01020304));
}

TEST(archive_entry, refuses_a_name_its_length_field_cannot_hold) {
    archive_entry entry;
    entry.mode = 0x81a4;
    entry.name = byte_string(70000, 'n');
    memory_sink sink;
    out_stream out(&sink);
    write_entry(out, entry);
    EXPECT_TRUE(out.state() & fail_bit);
    EXPECT_TRUE(sink.bytes().empty());
}
