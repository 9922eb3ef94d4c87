#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/byte_string.h"
#include "base/in_stream.h"
#include "base/out_stream.h"
#include "package/format.h"
#include "package/header_record.h"
#include "package/relation_list.h"
#include "tests/support/container_bytes.h"
#include "tests/support/memory_buffers.h"

namespace {

std::string text(const byte_string& bytes) {
    return std::string(bytes.data(), bytes.length());
}

// The encoders are held to the independent layout of the test builders, and
// the decoders must give back what was encoded.
TEST(header_record, encodes_the_layout_and_decodes_it_back) {
    struct case_ {
        const char* name;
        std::uint32_t version;
        std::uint32_t revision;
    };
    const case_ cases[] = {
        {"base", 0x01000000, 1},
        {"sixteen-byte-nam", 0xffffffffu, 0xfffffffeu},
        {"", 0, 0},
    };
    for (const case_& c : cases) {
        SCOPED_TRACE(c.name);
        header_record record;
        record.name = c.name;
        record.version = c.version;
        record.revision = c.revision;
        memory_sink sink;
        out_stream out(&sink);
        write_header_record(out, record);
        out.flush();
        EXPECT_EQ(sink.bytes(), fixture::header_record_bytes(c.name, c.version, c.revision));

        memory_source source(sink.bytes());
        in_stream in(&source);
        header_record back;
        ASSERT_TRUE(read_header_record(in, back));
        EXPECT_EQ(text(back.name), c.name);
        EXPECT_EQ(back.version, c.version);
        EXPECT_EQ(back.revision, c.revision);
    }
}

TEST(header_record, a_name_longer_than_the_field_is_cut_not_spilled) {
    header_record record;
    record.name = "a-name-well-over-sixteen-bytes";
    record.version = 7;
    unsigned char bytes[header_record_size];
    encode_header_record(record, bytes);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), sizeof bytes),
              fixture::header_record_bytes("a-name-well-over", 7, 0));
}

TEST(header_record, a_cut_record_is_not_read) {
    const std::string whole = fixture::header_record_bytes("base", 1, 2);
    for (std::size_t length : {std::size_t{0}, std::size_t{16}, whole.size() - 1}) {
        SCOPED_TRACE(length);
        memory_source source(whole.substr(0, length));
        in_stream in(&source);
        header_record record;
        EXPECT_FALSE(read_header_record(in, record));
    }
}

std::vector<relation> sample_relations() {
    std::vector<relation> list(3);
    list[0].name = "system";
    list[0].min = 0x02090005;
    list[1].name = "sixteen-byte-nam";
    list[1].min = 1;
    list[1].max = 0xffffffffu;
    list[2].name = "webadmin";
    list[2].priority = -3;
    return list;
}

std::string sample_relation_bytes() {
    return fixture::relation_list_bytes({
        {"system", 0x02090005, 0, 0},
        {"sixteen-byte-nam", 1, 0xffffffffu, 0},
        {"webadmin", 0, 0, -3},
    });
}

TEST(relation_list, encodes_the_layout_and_decodes_it_back) {
    for (std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{3}}) {
        SCOPED_TRACE(count);
        const std::vector<relation> list = sample_relations();
        memory_sink sink;
        out_stream out(&sink);
        write_relation_list(out, list.data(), count);
        out.flush();
        const std::string expected = sample_relation_bytes();
        EXPECT_EQ(sink.bytes(), fixture::le16(static_cast<std::uint16_t>(count)) +
                                    expected.substr(2, count * relation_record_size));

        memory_source source(sink.bytes());
        in_stream in(&source);
        array<relation> back;
        ASSERT_TRUE(read_relation_list(in, back));
        ASSERT_EQ(back.size(), count);
        for (std::size_t i = 0; i < count; ++i) {
            EXPECT_EQ(back[i].name, list[i].name);
            EXPECT_EQ(back[i].min, list[i].min);
            EXPECT_EQ(back[i].max, list[i].max);
            EXPECT_EQ(back[i].priority, list[i].priority);
        }
    }
}

TEST(relation_list, a_list_cut_anywhere_is_not_read_whole) {
    const std::string whole = sample_relation_bytes();
    for (std::size_t length = 0; length < whole.size(); ++length) {
        SCOPED_TRACE(length);
        memory_source source(whole.substr(0, length));
        in_stream in(&source);
        array<relation> list;
        EXPECT_FALSE(read_relation_list(in, list));
        const std::size_t whole_records = length < 2 ? 0 : (length - 2) / relation_record_size;
        EXPECT_EQ(list.size(), whole_records) << "a record counts only once it arrived whole";
    }
}

TEST(relation_list, a_list_the_count_cannot_hold_is_refused_unwritten) {
    const std::vector<relation> list(0x10000);
    memory_sink sink;
    out_stream out(&sink);
    write_relation_list(out, list.data(), list.size());
    out.flush();
    EXPECT_TRUE(out.failed());
    EXPECT_EQ(sink.bytes(), "");
}

}  // namespace
