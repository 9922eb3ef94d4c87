#include "disk/disk_record.h"

#include <gtest/gtest.h>

#include <cstring>

#include "disk/probe_disks.h"
#include "tests/disk/disk_fixture.h"

namespace {

TEST(disk_display_name, names_the_four_ide_disks_and_passes_others_through) {
    const struct {
        const char* name;
        const char* text;
    } cases[] = {
        {"/dev/hda", "IDE Primary master (disk C)"},
        {"/dev/hdb", "IDE Primary slave (disk D)"},
        {"/dev/hdc", "IDE Secondary master (disk E)"},
        {"/dev/hdd", "IDE Secondary slave (disk F)"},
        {"/dev/hda1", "/dev/hda1"},
        {"/dev/sda", "/dev/sda"},
        {"/dev/hd", "/dev/hd"},
    };
    for (const auto& c : cases) EXPECT_STREQ(disk_display_name(c.name), c.text) << c.name;
}

TEST(set_geometry, derives_the_layout_flags_at_their_limits) {
    const struct {
        std::uint32_t cylinders;
        std::uint32_t cylinder_bytes;
        int two_partitions;
        int journal;
    } cases[] = {
        {1023, 8225280, 0, 1},
        {1024, 8225280, 1, 1},
        {80, 524288, 0, 0},  // exactly 40 MiB: no journal
        {80, 524289, 0, 1},
        {1, 41943040, 0, 0},
        // The product needs 64 bits; in 32 it would wrap to a small size.
        {65536, 65536 + 1, 1, 1},
        {0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        disk_record record;
        clear_disk_record(record);
        set_geometry(record, c.cylinders, c.cylinder_bytes);
        EXPECT_EQ(record.cylinders, c.cylinders);
        EXPECT_EQ(record.cylinder_bytes, c.cylinder_bytes);
        EXPECT_EQ(record.two_partitions, c.two_partitions)
            << c.cylinders << " x " << c.cylinder_bytes;
        EXPECT_EQ(record.journal, c.journal) << c.cylinders << " x " << c.cylinder_bytes;
    }
}

TEST(parse_geometry_line, reads_device_and_geometry_and_skips_other_lines) {
    disk_record record;
    ASSERT_TRUE(
        parse_geometry_line("/dev/hda: 1024 cylinders, 16 heads, 63 sectors/track\n", record));
    EXPECT_STREQ(record.name, "/dev/hda");
    EXPECT_EQ(record.cylinders, 1024u);
    EXPECT_EQ(record.cylinder_bytes, 516096u);
    EXPECT_EQ(record.two_partitions, 1);
    EXPECT_EQ(record.journal, 1);

    for (const char* line :
         {"Disk /dev/hda: 1024 cylinders, 16 heads, 63 sectors/track\n",
          "/dev/hdb: unknown geometry\n", "/dev/hdc: 10 cylinders, 16 heads\n", ""}) {
        EXPECT_FALSE(parse_geometry_line(line, record)) << line;
    }
}

TEST(parse_geometry_line, cuts_a_long_device_name_to_the_field) {
    disk_record record;
    const std::string name = "/dev/" + std::string(60, 'x');
    ASSERT_TRUE(
        parse_geometry_line((name + ": 10 cylinders, 2 heads, 4 sectors/track").c_str(), record));
    EXPECT_EQ(std::string(record.name), name.substr(0, 31));
}

class probe_disks_test : public disk_test::scratch_fixture {};

TEST_F(probe_disks_test, takes_up_to_four_disks_from_the_geometry_listing) {
    fake_tool("/sbin/sfdisk", "echo \"$*\" > " + dir +
                                  "/args\n"
                                  "echo '/dev/hda: 4865 cylinders, 255 heads, 63 sectors/track'\n"
                                  "echo 'Warning: something'\n"
                                  "echo '/dev/hdb: 1023 cylinders, 16 heads, 63 sectors/track'\n"
                                  "echo '/dev/hdc: 20 cylinders, 16 heads, 63 sectors/track'\n"
                                  "echo '/dev/hdd: 30 cylinders, 16 heads, 63 sectors/track'\n"
                                  "echo '/dev/sda: 40 cylinders, 16 heads, 63 sectors/track'\n");
    disk_record* disks = probe_disks();
    ASSERT_NE(disks, nullptr);
    EXPECT_EQ(disk_test::slurp(dir + "/args"), "-g\n");
    EXPECT_STREQ(disks[0].name, "/dev/hda");
    EXPECT_EQ(disks[0].cylinder_bytes, 8225280u);
    EXPECT_STREQ(disks[1].name, "/dev/hdb");
    EXPECT_EQ(disks[1].two_partitions, 0);
    EXPECT_STREQ(disks[3].name, "/dev/hdd");
}

TEST_F(probe_disks_test, finds_none_without_a_disk_line_or_without_the_tool) {
    fake_tool("/sbin/sfdisk", "echo 'no disks here'\n");
    EXPECT_EQ(probe_disks(), nullptr);
    fake_tool("/sbin/sfdisk",
              "echo '/dev/hda: 1 cylinders, 1 heads, 1 sectors/track'\n"
              "echo '/dev/hdb: 1 cylinders, 1 heads, 1 sectors/track'\n");
    ASSERT_NE(probe_disks(), nullptr);
    fake_tool("/sbin/sfdisk", "echo '/dev/hdc: 1 cylinders, 1 heads, 1 sectors/track'\n");
    disk_record* disks = probe_disks();
    ASSERT_NE(disks, nullptr);
    EXPECT_STREQ(disks[0].name, "/dev/hdc");
    // The table is refilled from the start: nothing of an earlier, longer
    // listing may remain behind the disks found now.
    EXPECT_STREQ(disks[1].name, "");
    set_program_prefix((dir + "/nowhere").c_str());
    EXPECT_EQ(probe_disks(), nullptr);
}

}  // namespace
