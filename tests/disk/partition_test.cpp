#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "disk/format_disk.h"
#include "disk/partition_disk.h"
#include "tests/disk/disk_fixture.h"

namespace {

disk_record make_disk(const char* name, std::uint32_t cylinders, std::uint32_t cylinder_bytes) {
    disk_record disk;
    clear_disk_record(disk);
    std::snprintf(disk.name, sizeof disk.name, "%s", name);
    set_geometry(disk, cylinders, cylinder_bytes);
    return disk;
}

std::string table_text(const disk_record& disk, int slots) {
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* memory = open_memstream(&text, &size);
    write_partition_table(memory, disk, slots);
    std::fclose(memory);
    std::string result(text, size);
    std::free(text);
    return result;
}

TEST(write_partition_table, lays_out_one_or_two_partitions_and_empties_the_other_slots) {
    const struct {
        std::uint32_t cylinders;
        std::uint32_t cylinder_bytes;
        int slots;
        const char* text;
    } cases[] = {
        // 255 heads, 63 sectors: ceil(10 MiB / 8225280) = 2 boot cylinders.
        {4865, 8225280, 4, "0,2,83,*\n2,4863,83,*\n0,0,0\n0,0,0\n"},
        {1023, 8225280, 4, "0,1023,83,*\n0,0,0\n0,0,0\n0,0,0\n"},
        {1023, 8225280, 0, "0,1023,83,*\n"},
        {1024, 8225280, 1, "0,2,83,*\n2,1022,83,*\n"},
        // A cylinder of exactly 10 MiB gives a boot partition of one.
        {2000, 10485760, 2, "0,1,83,*\n1,1999,83,*\n"},
        {2000, 10485761, 2, "0,1,83,*\n1,1999,83,*\n"},
        {2000, 516096, 2, "0,21,83,*\n21,1979,83,*\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(table_text(make_disk("/dev/hda", c.cylinders, c.cylinder_bytes), c.slots), c.text)
            << c.cylinders << " x " << c.cylinder_bytes << ", " << c.slots << " slots";
    }
}

TEST(layout_fits, refuses_two_partition_geometries_without_room) {
    EXPECT_TRUE(layout_fits(make_disk("/dev/hda", 1024, 516096)));
    EXPECT_TRUE(layout_fits(make_disk("/dev/hda", 0, 0)));
    // No bytes per cylinder: the boot partition's size would divide by zero.
    EXPECT_FALSE(layout_fits(make_disk("/dev/hda", 2000, 0)));
    // One-sector cylinders: 20480 boot cylinders leave no root.
    EXPECT_FALSE(layout_fits(make_disk("/dev/hda", 2000, 512)));
}

class disk_tools_test : public disk_test::scratch_fixture {
protected:
    // A partitioning tool that records its arguments, dumps slot_lines
    // partition lines for -d and keeps its input for -q.
    void fake_sfdisk(int slot_lines) {
        std::string dump = "echo '# partition table of /dev/hda'\necho 'unit: cylinders'\n";
        for (int i = 1; i <= slot_lines; ++i) {
            dump += "echo '/dev/hda" + std::to_string(i) + " : start= 0, size= 0, Id= 0'\n";
        }
        fake_tool("/sbin/sfdisk", "echo \"$*\" >> " + dir +
                                      "/sfdisk.args\n"
                                      "case \"$1\" in\n"
                                      "-d) " +
                                      dump +
                                      ";;\n"
                                      "-q) cat > " +
                                      dir +
                                      "/sfdisk.input; echo 'sfdisk output' ;;\n"
                                      "esac\n");
    }

    // A file system tool that records its arguments and fails for the
    // partition named in fail_on.
    void fake_mke2fs(const std::string& fail_on) {
        fake_tool("/sbin/mke2fs", "echo \"$*\" >> " + dir +
                                      "/mke2fs.args\n"
                                      "for last; do :; done\n"
                                      "[ \"$last\" != '" +
                                      fail_on + "' ]\n");
    }
};

TEST_F(disk_tools_test, partition_disk_dumps_then_feeds_the_layout_with_output_to_the_log) {
    fake_sfdisk(4);
    ASSERT_TRUE(partition_disk(make_disk("/dev/hda", 4865, 8225280)));
    EXPECT_EQ(disk_test::slurp(dir + "/sfdisk.args"), "-d -uC /dev/hda\n-q -uC /dev/hda\n");
    EXPECT_EQ(disk_test::slurp(dir + "/sfdisk.input"), "0,2,83,*\n2,4863,83,*\n0,0,0\n0,0,0\n");
    EXPECT_EQ(disk_test::slurp(log), "sfdisk output\n");
}

TEST_F(disk_tools_test, partition_disk_on_a_blank_disk_writes_only_the_partition) {
    fake_sfdisk(0);
    ASSERT_TRUE(partition_disk(make_disk("/dev/hdb", 1023, 516096)));
    EXPECT_EQ(disk_test::slurp(dir + "/sfdisk.input"), "0,1023,83,*\n");
}

TEST_F(disk_tools_test, partition_disk_leaves_a_disk_without_room_alone) {
    fake_sfdisk(4);
    EXPECT_FALSE(partition_disk(make_disk("/dev/hda", 2000, 512)));
    EXPECT_FALSE(disk_test::exists(dir + "/sfdisk.args"));
}

TEST_F(disk_tools_test, format_disk_journals_only_the_root) {
    const struct {
        std::uint32_t cylinders;
        std::uint32_t cylinder_bytes;
        const char* fail_on;
        bool result;
        const char* calls;
    } cases[] = {
        {80, 524288, "", true, "/dev/hda1\n"},
        {1023, 516096, "", true, "-j /dev/hda1\n"},
        {1024, 516096, "", true, "/dev/hda1\n-j /dev/hda2\n"},
        {1024, 40960, "", true, "/dev/hda1\n/dev/hda2\n"},
        {1024, 516096, "/dev/hda1", false, "/dev/hda1\n"},
        {1024, 516096, "/dev/hda2", false, "/dev/hda1\n-j /dev/hda2\n"},
        {80, 524288, "/dev/hda1", false, "/dev/hda1\n"},
    };
    for (const auto& c : cases) {
        std::remove((dir + "/mke2fs.args").c_str());
        fake_mke2fs(c.fail_on);
        EXPECT_EQ(format_disk(make_disk("/dev/hda", c.cylinders, c.cylinder_bytes)), c.result)
            << c.cylinders << " fail on " << c.fail_on;
        EXPECT_EQ(disk_test::slurp(dir + "/mke2fs.args"), c.calls)
            << c.cylinders << " fail on " << c.fail_on;
    }
}

TEST_F(disk_tools_test, format_disk_fails_when_the_tool_cannot_run) {
    EXPECT_FALSE(format_disk(make_disk("/dev/hda", 80, 524288)));
}

}  // namespace
