#include "floppy/floppy_set.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "tests/disk/disk_fixture.h"

namespace {

TEST(ordinal_text, says_first_second_third_then_th) {
    const struct {
        unsigned number;
        const char* text;
    } cases[] = {{1, "1st"},   {2, "2nd"},   {3, "3rd"},   {4, "4th"},
                 {11, "11th"}, {12, "12th"}, {21, "21th"}, {22, "22th"}};
    for (const auto& c : cases) EXPECT_STREQ(ordinal_text(c.number).text(), c.text);
}

std::string random_bytes(std::size_t count, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(count, '\0');
    for (char& byte : bytes) byte = static_cast<char>(generator());
    return bytes;
}

// Sets are made with "vsktool floppies" and read back part by part as the
// floppy installation does.
class floppy_set_test : public disk_test::scratch_fixture {
protected:
    void SetUp() override {
        scratch_fixture::SetUp();
        vsktool_ = std::string(TARNVALE_BIN_DIR) + "/vsktool";
        if (!disk_test::exists(vsktool_)) GTEST_SKIP() << "vsktool is not built";
        clear_record(record);
    }

    static void clear_record(floppy_header& header) {
        header = floppy_header{};
        header.part_count = 1;
    }

    // Cuts stream into the set in <dir>/<name>; returns the part files.
    std::vector<std::string> make_set(const std::string& name, const std::string& stream,
                                      const std::string& options) {
        const std::string out = dir + "/" + name;
        const std::string input = dir + "/" + name + ".vsk";
        disk_test::spill(input, stream);
        EXPECT_EQ(std::system(("mkdir " + out + " && " + vsktool_ + " floppies " + options + " " +
                               out + " " + input)
                                  .c_str()),
                  0);
        std::vector<std::string> parts;
        for (int k = 0;; ++k) {
            char file[32];
            std::snprintf(file, sizeof file, "/tarnvale.n%2.2d", k);
            if (!disk_test::exists(out + file)) break;
            parts.push_back(out + file);
        }
        return parts;
    }

    struct outcome {
        std::int64_t result;
        std::string data;
        std::string screen;
    };

    outcome install(const std::string& part_path) {
        std::FILE* part = std::fopen(part_path.c_str(), "rb");
        EXPECT_NE(part, nullptr) << part_path;
        const std::string output_path = dir + "/output";
        std::FILE* output = std::fopen(output_path.c_str(), "wb");
        testing::internal::CaptureStdout();
        const std::int64_t result = install_part(record, part, output);
        std::fflush(stdout);
        outcome o{result, "", testing::internal::GetCapturedStdout()};
        std::fclose(output);
        std::fclose(part);
        o.data = disk_test::slurp(output_path);
        return o;
    }

    // Flips a byte in the payload of block number block (counted over the
    // whole file) of a part made with the given block size.
    static void damage_block(const std::string& path, std::size_t block_size, std::size_t block) {
        std::string bytes = disk_test::slurp(path);
        bytes[32 + block * block_size + 7] ^= 0x5a;
        disk_test::spill(path, bytes);
    }

    floppy_header record;

private:
    std::string vsktool_;
};

TEST_F(floppy_set_test, reads_back_a_whole_set) {
    const std::string stream = random_bytes(57000, 1);
    const auto parts =
        make_set("set", stream, "--block-size 512 --group-blocks 8 --floppy-bytes 20000");
    ASSERT_EQ(parts.size(), 5u);
    std::string data;
    for (std::size_t k = 0; k < parts.size(); ++k) {
        const outcome o = install(parts[k]);
        ASSERT_GT(o.result, 0) << k;
        EXPECT_EQ(static_cast<std::size_t>(o.result), o.data.size());
        EXPECT_EQ(o.screen.rfind("Installing part " + std::to_string(k + 1) + " of 5...\n[", 0), 0u)
            << o.screen;
        EXPECT_EQ(record.part_index, k);
        EXPECT_EQ(record.part_count, 5);
        data += o.data;
    }
    EXPECT_EQ(data, stream);
    EXPECT_EQ(disk_test::slurp(log), "");
}

TEST_F(floppy_set_test, repairs_one_bad_data_block_per_group_with_one_parity_block) {
    const struct {
        const char* label;
        const char* options;
        std::vector<std::size_t> damaged;  // block numbers over the file
        bool good;
        const char* log_text;
    } cases[] = {
        {"third block", "--parity-blocks 1", {2}, true, "Recovering bad block #2\n"},
        {"one block in each group",
         "--parity-blocks 1",
         {0, 8 + 6},
         true,
         "Recovering bad block #0\nRecovering bad block #6\n"},
        {"parity block alone", "--parity-blocks 1", {7}, true, ""},
        {"two blocks of a group", "--parity-blocks 1", {1, 3}, false, ""},
        {"a data block and the parity", "--parity-blocks 1", {1, 7}, false, ""},
        {"data block without parity", "--parity-blocks 0", {2}, false, ""},
        {"data block with two parity blocks", "--parity-blocks 2", {2}, false, ""},
        {"one of two parity blocks", "--parity-blocks 2", {6}, true, ""},
    };
    const std::string stream = random_bytes(5000, 2);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        disk_test::spill(log, "");
        clear_record(record);
        const std::string name = std::string("set") + std::to_string(&c - cases);
        const auto parts =
            make_set(name, stream, std::string("--block-size 512 --group-blocks 8 ") + c.options);
        ASSERT_EQ(parts.size(), 1u);
        for (std::size_t block : c.damaged) damage_block(parts[0], 512, block);
        const outcome o = install(parts[0]);
        if (c.good) {
            EXPECT_EQ(o.result, 5000);
            EXPECT_EQ(o.data, stream);
        } else {
            EXPECT_EQ(o.result, 0);
            EXPECT_EQ(o.data, "");
        }
        EXPECT_EQ(disk_test::slurp(log), c.log_text);
    }
}

TEST_F(floppy_set_test, refuses_a_floppy_of_another_set_and_then_takes_the_right_one) {
    const std::string stream = random_bytes(3000, 3);
    const auto ours = make_set("ours", stream, "--set-id 7 --block-size 512 --floppy-bytes 20000");
    const auto other =
        make_set("other", stream, "--set-id 8 --block-size 512 --floppy-bytes 20000");
    ASSERT_EQ(install(ours[0]).result, 3000);
    const outcome refused = install(other[0]);
    EXPECT_EQ(refused.result, 0);
    EXPECT_EQ(refused.screen, "");
    EXPECT_EQ(record.set_id, 7u);
    EXPECT_EQ(install(ours[0]).result, 3000);
}

TEST_F(floppy_set_test, shows_the_progress_of_reading_and_writing) {
    // 10000 bytes in groups of 9 data blocks of 1020: two groups, and two
    // of the three output pieces come after half of the data, so 4 steps.
    const auto parts =
        make_set("bar", random_bytes(10000, 4), "--block-size 1024 --group-blocks 10");
    ASSERT_EQ(parts.size(), 1u);
    const outcome o = install(parts[0]);
    EXPECT_EQ(o.result, 10000);
    EXPECT_EQ(o.screen, "Installing part 1 of 1...\n[" + std::string(70, ' ') + "]" + "\r[" +
                            std::string(17, '#') + "\r[" + std::string(35, '#') + "\r[" +
                            std::string(52, '#') + "\r[" + std::string(70, '#') + "\n");
}

TEST_F(floppy_set_test, a_cut_part_is_a_bad_floppy_and_a_failed_output_is_an_error) {
    const std::string stream = random_bytes(5000, 5);
    const auto parts = make_set("cut", stream, "--block-size 512 --group-blocks 8");
    const std::string whole = disk_test::slurp(parts[0]);
    disk_test::spill(parts[0], whole.substr(0, whole.size() - 1));
    EXPECT_EQ(install(parts[0]).result, 0);

    disk_test::spill(parts[0], whole);
    std::FILE* part = std::fopen(parts[0].c_str(), "rb");
    std::FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    testing::internal::CaptureStdout();
    EXPECT_EQ(install_part(record, part, full), -1);
    testing::internal::GetCapturedStdout();
    std::fclose(full);
    std::fclose(part);
}

// Headers written directly: geometries that no set maker should produce.
TEST_F(floppy_set_test, accepts_only_headers_with_a_readable_geometry) {
    const struct {
        std::uint32_t magic;
        std::uint16_t block_size;
        std::uint16_t group_blocks;
        std::uint16_t parity_blocks;
        bool accepted;  // the header replaces the record
    } cases[] = {
        {floppy_magic, 1024, 1024, 1, true},  // a group of exactly 1 MiB
        // A group too big to hold is refused only after the header is taken.
        {floppy_magic, 1024, 1025, 1, true},
        {floppy_magic, 5, 2, 1, true},
        {floppy_magic, 4, 8, 1, false},  // no payload
        {floppy_magic, 0, 8, 1, false},
        {floppy_magic, 512, 0, 0, false},
        {floppy_magic, 512, 1, 1, false},  // no data block
        {floppy_magic, 512, 2, 3, false},
        {0x72847298, 512, 8, 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.block_size << " x " << c.group_blocks << ", parity " << c.parity_blocks);
        clear_record(record);
        floppy_header header = {};
        header.magic = c.magic;
        header.set_id = 99;
        header.part_count = 3;
        header.block_size = c.block_size;
        header.group_blocks = c.group_blocks;
        header.parity_blocks = c.parity_blocks;
        unsigned char bytes[floppy_header_bytes];
        encode_floppy_header(header, bytes);
        const std::string path = dir + "/header";
        disk_test::spill(path, std::string(reinterpret_cast<char*>(bytes), sizeof bytes));
        // A part without data is a bad floppy even with a good header.
        const outcome o = install(path);
        EXPECT_EQ(o.result, 0);
        EXPECT_EQ(record.part_count, c.accepted ? 3 : 1);
        const bool fits = c.block_size * c.group_blocks <= 1048576;
        EXPECT_EQ(o.screen.empty(), !(c.accepted && fits)) << o.screen;
    }
    disk_test::spill(dir + "/short", std::string(31, '\0'));
    EXPECT_EQ(install(dir + "/short").result, 0);
}

}  // namespace
