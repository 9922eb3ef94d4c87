// A CD-ROM installation chosen in the menu, on a one-partition disk that
// holds an old system whose configuration is kept.

#include <unistd.h>

#include "tests/system/bootsetup_fixture.h"

namespace {

using namespace bootsetup_test;

const std::string up_arrow = "\033[A", down_arrow = "\033[B", right_arrow = "\033[C";

// The old configuration: modes, owners and times that must come back, a
// set-user-ID file, an empty file, a file bigger than one archive chunk and
// a link that is not carried over.
void make_old_system(const fs::path& tree) {
    fs::path store = tree / "vesk/store";
    put(store / "network.conf", "eth0 10.0.0.1/24\n", 0640);
    put(store / "empty", "", 0600);
    std::string big;
    for (int i = 0; big.size() < 40000; ++i) big += "rule " + std::to_string(i) + " accept\n";
    put(store / "firewall/rules", big, 0644);
    put(store / "firewall/helper", "#!/bin/bash\n", 04755);
    fs::create_symlink("../network.conf", store / "firewall/link");
    put(tree / "etc/old-only", "from the old system\n");
    chown((store / "network.conf").c_str(), 12, 34);
    chown((store / "firewall").c_str(), 56, 78);
    chmod((store / "firewall").c_str(), 02750);
    const char* dated[] = {"network.conf",    "empty",    "firewall/rules",
                           "firewall/helper", "firewall", ""};
    long long when = 1000000000;
    for (const char* name : dated) {
        std::string command =
            "touch -h -d @" + std::to_string(when) + " " + quote((store / name).string());
        ASSERT_EQ(shell(command), 0);
        when += 86400;
    }
}

TEST(bootsetup_cdrom, menu_selection_and_kept_configuration_on_one_partition) {
    std::string why = bootsetup_sandbox::unavailable_reason();
    if (!why.empty()) GTEST_SKIP() << why;

    machine box;
    ASSERT_EQ(box.failure(), "");
    fs::path work = box.work_dir();
    loop_disk disk((work / "disk.img").string(), geometry{1023, 16, 63});
    if (!disk.ready()) GTEST_SKIP() << disk.failure();
    make_old_system(work / "old");
    // Taken before anything lists or reads the tree, which changes access times.
    std::map<std::string, file_facts> before;
    for (const char* name :
         {"", "/network.conf", "/empty", "/firewall", "/firewall/rules", "/firewall/helper"})
        before[std::string("vesk/store") + name] =
            facts(work / "old/vesk/store" / (name + (*name ? 1 : 0)));
    install_old_system(disk, work / "old");

    build_media(work, work / "cd", sample_packages());
    put(work / "cd/defpacks", "ppp dhcp\n");
    ASSERT_TRUE(box.set_disk(disk)) << box.failure();
    ASSERT_TRUE(box.add_iso_medium("/dev/hdc", (work / "cd").string())) << box.failure();
    ASSERT_TRUE(box.write_file("/TYPE", "cdrom\n"));
    ASSERT_TRUE(box.start()) << box.failure();

    ASSERT_TRUE(box.expect("\nFound harddrive as IDE Primary master (disk C)\n")) << box.screen();
    // The grid: "system", "ppp", "dhcp", then by name; only "system" marked,
    // whatever "defpacks" says.
    ASSERT_TRUE(box.expect("Select all with 'a', minimum with 'm'.")) << box.screen();
    ASSERT_TRUE(box.expect("):")) << box.unread();
    std::string menu = box.last_expected();
    EXPECT_NE(menu.find("\033[7;0H \033[m\033[7m [X] system \033[m"), std::string::npos) << menu;
    EXPECT_NE(menu.find("\033[8;0H  [ ] ppp "), std::string::npos) << menu;
    EXPECT_NE(menu.find("\033[7;26H  [ ] dhcp "), std::string::npos) << menu;
    EXPECT_NE(menu.find("\033[8;26H  [ ] alpha "), std::string::npos) << menu;
    EXPECT_NE(menu.find("\033[7;52H  [ ] httpd "), std::string::npos) << menu;
    EXPECT_NE(menu.find("\033[8;52H  [ ] webui "), std::string::npos) << menu;
    EXPECT_NE(menu.find("system (depends on nothing):"), std::string::npos) << menu;

    // To "webui" and select it: its dependency comes along.
    box.send(right_arrow + right_arrow + down_arrow);
    ASSERT_TRUE(box.expect("webui (depends on httpd):")) << box.unread();
    ASSERT_TRUE(box.expect("Web pages for managing the router")) << box.unread();
    box.send(" ");
    ASSERT_TRUE(box.expect("\033[8;52H \033[m\033[7m [X] webui \033[m")) << box.unread();
    EXPECT_NE(box.last_expected().find("\033[7;52H  [X] httpd "), std::string::npos);
    // "ppp" selected and, with 'p' and space, deselected again.
    box.send(std::string("\033[D\033[D") + up_arrow + "n ");
    ASSERT_TRUE(box.expect("\033[8;0H \033[m\033[7m [X] ppp \033[m")) << box.unread();
    box.send(" i");

    ASSERT_TRUE(box.expect("Do you want to keep old configuration?  [y/n]:")) << box.unread();
    EXPECT_NE(box.last_expected().find("\033[8;0H \033[m\033[7m [ ] ppp \033[m"),
              std::string::npos);
    box.send("y");
    ASSERT_TRUE(
        box.expect("y\n\nWarning: all data on the disk will be erased!\n\nContinue? [y/n]:"))
        << box.unread();
    box.send("y");
    ASSERT_TRUE(box.expect("Reading old configuration...")) << box.unread();
    ASSERT_TRUE(box.expect("Creating partition...")) << box.unread();
    ASSERT_TRUE(box.expect("Formatting disk...")) << box.unread();
    ASSERT_TRUE(box.expect("Writing back old configuration...")) << box.unread();
    ASSERT_TRUE(box.expect("Checking disk integrity...", 120000)) << box.unread();
    ASSERT_TRUE(box.expect("\nSoftware installed.\nPress ENTER to reboot\n")) << box.unread();
    EXPECT_EQ(box.screen().find("ERROR"), std::string::npos) << box.screen();
    EXPECT_EQ(box.screen().find("WARNING"), std::string::npos) << box.screen();
    EXPECT_TRUE(box.running());
    box.send("\n");
    ASSERT_TRUE(box.wait(30000));
    EXPECT_TRUE(box.rebooted());
    EXPECT_NE(box.screen().find("\nRebooting...\n"), std::string::npos);

    EXPECT_EQ(box.insmod_log(),
              "fat\nvfat\nisofs\ncdrom\nide-cd\nusbcore\nusb-uhci\nusb-ohci\nhid\n");
    EXPECT_NE(box.hidden_console().find("fsck called: -d -v\n"), std::string::npos)
        << box.hidden_console();

    // One partition after the first track over the whole disk, a journal.
    disk_contents after = read_disk(disk, work);
    EXPECT_EQ(table_entry(after.table, disk, 1), "start=63,size=1031121,type=83,bootable")
        << after.table;
    EXPECT_EQ(after.trees.size(), 1u) << after.table;
    EXPECT_TRUE(has_journal(after.superblocks[1]));
    std::string mbr = sector_zero(disk);
    EXPECT_NE(mbr.substr(0, 184), std::string(184, '\0'));
    EXPECT_EQ(mbr.substr(184, 256), std::string(256, '\0'));
    EXPECT_EQ(mbr.substr(510), "\x55\xAA");

    fs::path root = after.trees[1];
    // The old configuration is back, the rest of the old system is gone.
    EXPECT_FALSE(fs::exists(root / "etc/old-only"));
    EXPECT_FALSE(facts(root / "vesk/store/firewall/link").exists);
    for (const auto& [name, old] : before) {
        ASSERT_TRUE(old.exists) << name;
        file_facts now = facts(root / name);
        EXPECT_TRUE(now.exists) << name;
        EXPECT_EQ(now.mode, old.mode) << name;
        EXPECT_EQ(now.uid, old.uid) << name;
        EXPECT_EQ(now.gid, old.gid) << name;
        EXPECT_EQ(now.mtime, old.mtime) << name;
        EXPECT_EQ(now.atime, old.atime) << name;
    }
    EXPECT_EQ(slurp(root / "vesk/store/firewall/rules"),
              slurp(work / "old/vesk/store/firewall/rules"));
    EXPECT_EQ(slurp(root / "etc/lilo.conf"),
              "boot=/dev/hda1\nmap=/boot/map\ninstall=/boot/boot.b\nlba32\nimage=/boot/vmlinuz\n"
              "  label=System\n  root=/dev/hda1\n  read-only\n");
    EXPECT_EQ(slurp(root / "etc/fstab"),
              "/dev/hda1  /     ext3 defaults 1 1\nnone /proc proc defaults 0 0\n"
              "none /dev/pts devpts gid=5,mode=620 0 0\n");
    EXPECT_TRUE(facts(root / ".nofsck").exists);
    EXPECT_EQ(facts(root / "CDINSTALL").mode, 0600u);
    EXPECT_FALSE(facts(root / "autorun.scr").exists);
    EXPECT_EQ(slurp(root / "var/postinstall.done"), "postinstall ran\n");
    // Dependencies first; nothing that was not chosen or needed.
    EXPECT_EQ(slurp(root / "var/install-order"), "system\nhttpd\nwebui\n");
    for (const char* name : {"system", "httpd", "webui"}) {
        EXPECT_TRUE(fs::is_directory(root / "var/pdb" / name)) << name;
        EXPECT_TRUE(fs::exists(root / "usr/share" / name / "README")) << name;
    }
    for (const char* name : {"ppp", "dhcp", "alpha"})
        EXPECT_FALSE(fs::exists(root / "var/pdb" / name)) << name;
    for (const char* directory : {"proc", "vesk/etc", "var/pdb"})
        EXPECT_EQ(facts(root / directory).mode, 0755u);
}

}  // namespace
