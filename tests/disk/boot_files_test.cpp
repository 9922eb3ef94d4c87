#include "disk/boot_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "tests/disk/disk_fixture.h"

namespace {

disk_record make_disk(std::uint32_t cylinders, std::uint32_t cylinder_bytes) {
    disk_record disk;
    clear_disk_record(disk);
    std::snprintf(disk.name, sizeof disk.name, "/dev/hda");
    set_geometry(disk, cylinders, cylinder_bytes);
    return disk;
}

mode_t mode_of(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

class boot_files_test : public disk_test::scratch_fixture {};

TEST_F(boot_files_test, describe_each_layout_byte_for_byte) {
    const struct {
        const char* layout;
        std::uint32_t cylinders;
        std::uint32_t cylinder_bytes;
        const char* root_line;
        const char* fstab;
        bool marker;
    } cases[] = {
        {"two partitions with journal", 4865, 8225280, "  root=/dev/hda2\n",
         "/dev/hda2  /     ext3 defaults 1 1\n"
         "/dev/hda1  /boot ext2 defaults 1 2\n",
         true},
        {"two partitions without journal", 1024, 40960, "  root=/dev/hda2\n",
         "/dev/hda2  /     ext2 defaults 1 1\n"
         "/dev/hda1  /boot ext2 defaults 1 2\n",
         false},
        {"one partition with journal", 1023, 516096, "  root=/dev/hda1\n",
         "/dev/hda1  /     ext3 defaults 1 1\n", true},
        {"one partition of 40 MiB", 80, 524288, "  root=/dev/hda1\n",
         "/dev/hda1  /     ext2 defaults 1 1\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.layout);
        const std::string root = dir + "/root";
        ASSERT_EQ(mkdir(root.c_str(), 0755), 0);
        const disk_record disk = make_disk(c.cylinders, c.cylinder_bytes);
        ASSERT_TRUE(write_lilo_conf(disk, root.c_str()));
        ASSERT_TRUE(write_fstab(disk, root.c_str()));
        EXPECT_EQ(disk_test::slurp(root + "/etc/lilo.conf"), std::string("boot=/dev/hda1\n"
                                                                         "map=/boot/map\n"
                                                                         "install=/boot/boot.b\n"
                                                                         "lba32\n"
                                                                         "image=/boot/vmlinuz\n"
                                                                         "  label=System\n") +
                                                                 c.root_line + "  read-only\n");
        EXPECT_EQ(disk_test::slurp(root + "/etc/fstab"),
                  std::string(c.fstab) +
                      "none /proc proc defaults 0 0\n"
                      "none /dev/pts devpts gid=5,mode=620 0 0\n");
        EXPECT_EQ(mode_of(root + "/etc"), 0755u);
        EXPECT_EQ(mode_of(root + "/etc/lilo.conf"), 0644u);
        EXPECT_EQ(mode_of(root + "/etc/fstab"), 0644u);
        EXPECT_EQ(disk_test::exists(root + "/.nofsck"), c.marker);
        if (c.marker) {
            EXPECT_EQ(disk_test::slurp(root + "/.nofsck"), "");
        }
        ASSERT_EQ(std::system(("rm -rf " + root).c_str()), 0);
    }
}

TEST_F(boot_files_test, replace_older_files_in_an_existing_etc) {
    const std::string root = dir + "/root";
    ASSERT_EQ(mkdir(root.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((root + "/etc").c_str(), 0700), 0);
    disk_test::spill(root + "/etc/fstab", std::string(4096, 'x'));
    ASSERT_TRUE(write_fstab(make_disk(80, 524288), root.c_str()));
    EXPECT_EQ(disk_test::slurp(root + "/etc/fstab"),
              "/dev/hda1  /     ext2 defaults 1 1\n"
              "none /proc proc defaults 0 0\n"
              "none /dev/pts devpts gid=5,mode=620 0 0\n");
}

TEST_F(boot_files_test, fail_when_the_files_cannot_be_created) {
    const std::string root = dir + "/missing";
    EXPECT_FALSE(write_lilo_conf(make_disk(80, 524288), root.c_str()));
    EXPECT_FALSE(write_fstab(make_disk(80, 524288), root.c_str()));
}

}  // namespace
