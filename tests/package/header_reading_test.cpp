#include "package/header_reading.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/in_stream.h"
#include "package/version.h"
#include "tests/support/container_bytes.h"
#include "tests/support/memory_buffers.h"

namespace {

using fixture::container_bytes;
using fixture::header_record_bytes;
using fixture::part_bytes;
using fixture::relation_list_bytes;

constexpr std::uint32_t v2_9_5 = make_version(2, 9, 'f', 5);
constexpr std::uint32_t v3_0 = make_version(3, 0, 'f', 0);

std::string text(const byte_string& bytes) {
    return std::string(bytes.data(), bytes.length());
}

// A reader over container bytes in memory, standing on the first part of the
// header types.
struct memory_package {
    explicit memory_package(const std::string& bytes)
        : source(bytes), stream(&source), reader(stream) {
        for (std::uint32_t type : {1u, 18u, 16u, 3u, 19u, 17u}) reader.accept(type);
        reader.next_part();
    }
    memory_source source;
    in_stream stream;
    package_reader reader;
};

std::string plain_header(const std::string& name, std::uint32_t version = v3_0,
                         std::uint32_t revision = 0) {
    return part_bytes(part_package, header_record_bytes(name, version, revision));
}

TEST(read_header, reads_identity_architecture_and_relations) {
    memory_package file(container_bytes(
        part_bytes(part_package, header_record_bytes("openssh", v2_9_5, 7)) +
        part_bytes(part_architecture, "x86_64") +
        part_bytes(part_depends, relation_list_bytes({{"libc", v2_9_5, v3_0}, {"zlib"}})) +
        part_bytes(part_provides, relation_list_bytes({{"sshd", 0, 0, -2}})) +
        part_bytes(part_conflicts, relation_list_bytes({{"dropbear", 0, v3_0}})) +
        part_bytes(part_files, "not read here")));
    package_record p;
    ASSERT_TRUE(read_header(p, file.reader));
    EXPECT_EQ(text(p.name), "openssh");
    EXPECT_EQ(p.version, v2_9_5);
    EXPECT_EQ(p.revision, 7u);
    EXPECT_FALSE(p.is_bundle);
    EXPECT_EQ(text(p.architecture), "x86_64");
    ASSERT_EQ(p.depends.size(), 2u);
    EXPECT_EQ(text(p.depends[0].name), "libc");
    EXPECT_EQ(p.depends[0].min, v2_9_5);
    EXPECT_EQ(p.depends[0].max, v3_0);
    EXPECT_EQ(text(p.depends[1].name), "zlib");
    ASSERT_EQ(p.provides.size(), 1u);
    EXPECT_EQ(p.provides[0].priority, -2);
    ASSERT_EQ(p.conflicts.size(), 1u);
    EXPECT_EQ(text(p.conflicts[0].name), "dropbear");
    EXPECT_EQ(p.conflicts[0].max, v3_0);
    // The reader is left on the first part after the header's parts; type 4
    // is not accepted, so that is the end.
    EXPECT_EQ(file.reader.current_type(), -1);
}

TEST(read_header, fills_defaults_for_missing_parts) {
    memory_package file(container_bytes(
        part_bytes(part_bundle, header_record_bytes("sixteen-byte-nam", v3_0, 0)) +
        part_bytes(part_conflicts, relation_list_bytes({{"exactly16bytes..", 1, 2, 3}})) +
        plain_header("member")));
    package_record p;
    ASSERT_TRUE(read_header(p, file.reader));
    EXPECT_TRUE(p.is_bundle);
    EXPECT_EQ(text(p.name), "sixteen-byte-nam");
    EXPECT_EQ(text(p.architecture), "i386");
    EXPECT_TRUE(p.depends.empty());
    EXPECT_TRUE(p.provides.empty());
    ASSERT_EQ(p.conflicts.size(), 1u);
    EXPECT_EQ(text(p.conflicts[0].name), "exactly16bytes..");
    EXPECT_EQ(file.reader.current_type(), part_package);
}

// Relations out of the usual order end the header: what follows belongs to
// someone else.
TEST(read_header, stops_at_a_part_in_the_wrong_place) {
    memory_package file(container_bytes(plain_header("app") +
                                        part_bytes(part_conflicts, relation_list_bytes({{"old"}})) +
                                        part_bytes(part_depends, relation_list_bytes({{"libc"}}))));
    package_record p;
    ASSERT_TRUE(read_header(p, file.reader));
    EXPECT_TRUE(p.depends.empty());
    EXPECT_EQ(p.conflicts.size(), 1u);
    EXPECT_EQ(file.reader.current_type(), part_depends);
}

TEST(read_header, keeps_what_arrived_of_a_cut_architecture) {
    std::string bytes =
        container_bytes(plain_header("app") + part_bytes(part_architecture, "x86_64"));
    bytes.resize(bytes.size() - 3);
    memory_package file(bytes);
    package_record p;
    ASSERT_TRUE(read_header(p, file.reader));
    EXPECT_EQ(text(p.architecture), "x86");
    EXPECT_EQ(file.reader.current_type(), -1);
}

TEST(read_header, fails_on_short_or_misplaced_records) {
    struct failure_case {
        const char* what;
        std::string bytes;
    };
    std::string cut_record = container_bytes(
        plain_header("app") + part_bytes(part_depends, relation_list_bytes({{"libc"}, {"zlib"}})));
    cut_record.resize(cut_record.size() - 1);
    // A list that claims two records but holds one.
    std::string one_record_short = relation_list_bytes({{"libc"}});
    one_record_short[0] = '\2';
    const failure_case cases[] = {
        {"the reader stands on relations, not a header",
         container_bytes(part_bytes(part_depends, relation_list_bytes({{"libc"}})))},
        {"a header record of 31 bytes",
         container_bytes(part_bytes(part_package, header_record_bytes("app", 1, 0).substr(0, 31)))},
        {"a relation count cut to one byte",
         container_bytes(plain_header("app") + part_bytes(part_provides, std::string(1, '\1')))},
        {"a relation list one record short",
         container_bytes(plain_header("app") + part_bytes(part_depends, one_record_short))},
        {"a relation record cut by the end of the file", cut_record},
        {"no parts at all", container_bytes("")},
        {"an unknown magic", container_bytes(plain_header("app"), 0x12345678u)},
    };
    for (const failure_case& c : cases) {
        memory_package file(c.bytes);
        package_record p;
        EXPECT_FALSE(read_header(p, file.reader)) << c.what;
    }
}

class read_store_file_test : public ::testing::Test {
protected:
    void TearDown() override {
        for (const std::string& path : paths_) unlink(path.c_str());
    }
    std::string store(const std::string& bytes) {
        paths_.push_back(fixture::scratch_path("store.vsk"));
        fixture::write_file(paths_.back(), bytes);
        return paths_.back();
    }
    package_file f;

private:
    std::vector<std::string> paths_;
};

TEST_F(read_store_file_test, reads_a_plain_package_and_its_size) {
    const std::string bytes = container_bytes(
        plain_header("app", v2_9_5, 3) + part_bytes(part_description, "An application") +
        part_bytes(part_depends, relation_list_bytes({{"libc", v2_9_5}})) +
        part_bytes(part_oninstall, "echo hi") + part_bytes(part_files, std::string(5000, 'x')));
    const std::string path = store(bytes);
    ASSERT_TRUE(read_store_file(f, path.c_str()));
    EXPECT_EQ(text(f.path), path);
    EXPECT_EQ(f.size, bytes.size());
    EXPECT_EQ(text(f.name), "app");
    EXPECT_EQ(f.revision, 3u);
    EXPECT_EQ(text(f.architecture), "i386");
    ASSERT_EQ(f.depends.size(), 1u) << "the description before the dependencies is passed over";
    EXPECT_TRUE(f.members.empty());
}

TEST_F(read_store_file_test, reads_every_member_of_a_bundle) {
    const std::string bytes = container_bytes(
        part_bytes(part_bundle, header_record_bytes("base", make_version(1, 0, 'f', 0), 0)) +
        part_bytes(part_architecture, "i586") +
        part_bytes(part_disabled_members, relation_list_bytes({{"zlib"}})) + plain_header("libc") +
        part_bytes(part_architecture, "i586") +
        part_bytes(part_depends, relation_list_bytes({{"kernel"}})) +
        part_bytes(part_oninstall, "true") + part_bytes(part_onuninstall, "true") +
        part_bytes(part_files, "archive") + plain_header("zlib", v2_9_5) +
        part_bytes(part_files, "archive"));
    ASSERT_TRUE(read_store_file(f, store(bytes).c_str()));
    EXPECT_TRUE(f.is_bundle);
    EXPECT_EQ(text(f.name), "base");
    EXPECT_EQ(text(f.architecture), "i586");
    std::vector<std::string> names;
    for (const package_record* m : f.members) names.push_back(text(m->name));
    EXPECT_EQ(names, (std::vector<std::string>{"libc", "zlib"}));
    EXPECT_EQ(f.members.front()->depends.size(), 1u);
    EXPECT_EQ(f.members.back()->version, v2_9_5);
    EXPECT_EQ(text(f.members.back()->architecture), "i386");
}

TEST_F(read_store_file_test, refuses_broken_files) {
    struct broken_case {
        const char* what;
        std::string bytes;
    };
    const std::string whole = container_bytes(plain_header("app") + part_bytes(part_files, "data"));
    const broken_case cases[] = {
        {"a file cut short", whole.substr(0, whole.size() - 1)},
        {"a padded file", whole + std::string(1, '\0')},
        {"a bundle without members",
         container_bytes(part_bytes(part_bundle, header_record_bytes("base", 1, 0)) +
                         part_bytes(part_disabled_members, relation_list_bytes({})))},
        {"a bundle with a cut member header",
         container_bytes(
             part_bytes(part_bundle, header_record_bytes("base", 1, 0)) + plain_header("libc") +
             part_bytes(part_package, header_record_bytes("zlib", 1, 0).substr(0, 20)))},
        {"a file without a header part", container_bytes(part_bytes(part_files, "data"))},
        {"a file shorter than its file header", whole.substr(0, 6)},
    };
    for (const broken_case& c : cases) {
        package_file broken;
        EXPECT_FALSE(read_store_file(broken, store(c.bytes).c_str())) << c.what;
    }
    EXPECT_FALSE(read_store_file(f, fixture::scratch_path("missing.vsk").c_str()));
}

}  // namespace
