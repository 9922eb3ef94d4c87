// A hard-disk installation without "CHOOSE": nothing is asked, every package
// goes in, the media's "mbr" lands on the installation disk, and the machine
// reboots by itself. The target has 1024 cylinders, so it gets a boot
// partition and a root.

#include "tests/system/bootsetup_fixture.h"

namespace {

using namespace bootsetup_test;

TEST(bootsetup_hard_disk, unattended_installation_on_two_partitions) {
    std::string why = bootsetup_sandbox::unavailable_reason();
    if (!why.empty()) GTEST_SKIP() << why;

    machine box;
    ASSERT_EQ(box.failure(), "");
    fs::path work = box.work_dir();
    loop_disk disk((work / "disk.img").string(), geometry{1024, 16, 63});
    if (!disk.ready()) GTEST_SKIP() << disk.failure();

    fs::path media = work / "media";
    build_media(work, media, sample_packages());
    std::string boot_sector(510, '\0');
    for (std::size_t i = 0; i < boot_sector.size(); ++i)
        boot_sector[i] = static_cast<char>(i * 7 + 1);
    boot_sector += "\x55\xAA";
    put(media / "mbr", boot_sector);
    put(media / "autorun.scr", "set hostname gateway\nset interface eth0 address 10.1.1.1/24\n");

    ASSERT_TRUE(box.set_disk(disk)) << box.failure();
    ASSERT_TRUE(box.set_vfat_medium("/dev/hdb", media.string())) << box.failure();
    // "-hdd-install" wins over "/TYPE".
    ASSERT_TRUE(box.write_file("/TYPE", "cdrom\n"));
    bootsetup_sandbox::options how;
    how.arguments = {"-hdd-install"};
    ASSERT_TRUE(box.start(how)) << box.failure();

    ASSERT_TRUE(box.expect(
        "\033[?25l\033[H\033[2JWelcome to Tarnvale Router Software hard disk installation\n"
        "Press Ctrl-Alt-Delete to abort\n"))
        << box.screen();
    ASSERT_TRUE(box.wait(180000)) << box.screen();
    EXPECT_TRUE(box.rebooted()) << box.screen();
    std::string screen = box.screen();
    for (const char* name : {"system", "ppp", "dhcp", "httpd", "webui", "alpha"})
        EXPECT_NE(screen.find(std::string("Reading: ") + name + "..."), std::string::npos) << name;
    EXPECT_NE(screen.find("\nSoftware installed.\n\033[?25h\nRebooting...\n"), std::string::npos)
        << screen;
    EXPECT_EQ(screen.find("[y/n]"), std::string::npos);
    EXPECT_EQ(screen.find("Press ENTER"), std::string::npos);
    EXPECT_EQ(screen.find("ERROR"), std::string::npos) << screen;
    EXPECT_EQ(screen.find("WARNING"), std::string::npos) << screen;
    // The installation disk got the media's sector; the target our boot code.
    EXPECT_EQ(slurp(box.path("/dev/hdb")), boot_sector);
    EXPECT_EQ(box.mounts_log().find("/dev/hda /floppy vfat no-medium\n/dev/hdb /floppy vfat"), 0u)
        << box.mounts_log();
    // Two partitions: no check of the root.
    EXPECT_EQ(box.hidden_console().find("fsck"), std::string::npos);

    // A boot partition of ceil(10 MiB / 516096) = 21 cylinders after the
    // first track, the root over the remaining 1003.
    disk_contents after = read_disk(disk, work);
    EXPECT_EQ(table_entry(after.table, disk, 1), "start=63,size=21105,type=83,bootable")
        << after.table;
    EXPECT_EQ(table_entry(after.table, disk, 2), "start=21168,size=1011024,type=83,bootable")
        << after.table;
    EXPECT_EQ(after.trees.size(), 2u);
    EXPECT_FALSE(has_journal(after.superblocks[1]));
    EXPECT_TRUE(has_journal(after.superblocks[2]));
    std::string mbr = sector_zero(disk);
    EXPECT_NE(mbr.substr(0, 184), boot_sector.substr(0, 184));
    EXPECT_NE(mbr.substr(0, 184), std::string(184, '\0'));

    fs::path root = after.trees[2];
    EXPECT_EQ(slurp(root / "etc/lilo.conf"),
              "boot=/dev/hda1\nmap=/boot/map\ninstall=/boot/boot.b\nlba32\nimage=/boot/vmlinuz\n"
              "  label=System\n  root=/dev/hda2\n  read-only\n");
    EXPECT_EQ(slurp(root / "etc/fstab"),
              "/dev/hda2  /     ext3 defaults 1 1\n/dev/hda1  /boot ext2 defaults 1 2\n"
              "none /proc proc defaults 0 0\nnone /dev/pts devpts gid=5,mode=620 0 0\n");
    EXPECT_TRUE(fs::exists(root / ".nofsck"));
    EXPECT_TRUE(fs::is_directory(root / "boot"));
    EXPECT_FALSE(fs::exists(root / "CDINSTALL"));
    EXPECT_FALSE(fs::exists(root / "vesk/store"));
    EXPECT_EQ(slurp(root / "autorun.scr"), slurp(media / "autorun.scr"));
    EXPECT_EQ(slurp(root / "var/postinstall.done"), "postinstall ran\n");
    // Everything, each package after what it depends on, otherwise in the
    // order the media's directory lists them.
    std::string order = slurp(root / "var/install-order");
    for (const char* name : {"system", "ppp", "dhcp", "httpd", "webui", "alpha"}) {
        EXPECT_TRUE(fs::is_directory(root / "var/pdb" / name)) << name;
        EXPECT_NE(order.find(std::string(name) + "\n"), std::string::npos) << name;
    }
    for (const char* name : {"ppp", "dhcp", "httpd"})
        EXPECT_LT(order.find("system\n"), order.find(std::string(name) + "\n")) << order;
    EXPECT_LT(order.find("httpd\n"), order.find("webui\n")) << order;
}

}  // namespace
