// Installations that end before the disk is touched: "n" to "Continue?" on a
// machine with only a serial console, and an interrupt in the package menu
// of a bootsetup that runs as process 1 itself (no worker). Either way the
// old system stays as it was and the machine reboots after Enter.

#include "tests/system/bootsetup_fixture.h"

namespace {

using namespace bootsetup_test;

struct abort_case {
    const char* name;
    bool serial_console;
    const char* argv0;
    bool interrupt_in_menu;
    const char* last_words;
};

void PrintTo(const abort_case& c, std::ostream* out) {
    *out << c.name;
}

class bootsetup_abort : public ::testing::TestWithParam<abort_case> {};

TEST_P(bootsetup_abort, old_system_left_alone) {
    const abort_case& c = GetParam();
    std::string why = bootsetup_sandbox::unavailable_reason();
    if (!why.empty()) GTEST_SKIP() << why;

    machine box;
    ASSERT_EQ(box.failure(), "");
    fs::path work = box.work_dir();
    loop_disk disk((work / "disk.img").string(), geometry{100, 16, 63});
    if (!disk.ready()) GTEST_SKIP() << disk.failure();
    put(work / "old/etc/motd", "old system\n");
    install_old_system(disk, work / "old");
    // The partitions; the disk identifier beside the boot code is cleared
    // with it as soon as the disk is found.
    const std::string partitions = "sfdisk -d " + disk.device() + " | grep ^/dev/";
    std::string table_before;
    ASSERT_EQ(shell(partitions, &table_before), 0);

    build_media(work, work / "cd",
                {media_package("system", version(1, 0)),
                 media_package("ppp", version(2, 4), {{"system"}})});
    ASSERT_TRUE(box.set_disk(disk)) << box.failure();
    ASSERT_TRUE(box.add_iso_medium("/dev/hdb", (work / "cd").string())) << box.failure();
    ASSERT_TRUE(box.write_file("/TYPE", "cdrom\n"));
    bootsetup_sandbox::options how;
    how.serial_console = c.serial_console;
    how.argv0 = c.argv0;
    ASSERT_TRUE(box.start(how)) << box.failure();

    ASSERT_TRUE(box.expect("system (depends on nothing):")) << box.screen();
    if (c.interrupt_in_menu) {
        ASSERT_TRUE(box.interrupt());
    } else {
        box.send("i");
        ASSERT_TRUE(box.expect("Do you want to keep old configuration?  [y/n]:")) << box.unread();
        box.send("n");
        ASSERT_TRUE(box.expect("Continue? [y/n]:")) << box.unread();
        box.send("n");
    }
    ASSERT_TRUE(box.expect(c.last_words)) << box.unread();
    // Nothing but Enter ends the wait.
    box.send("y ");
    ASSERT_FALSE(box.wait(1000));
    box.send("\n");
    ASSERT_TRUE(box.wait(30000));
    EXPECT_TRUE(box.rebooted());

    std::string table_after;
    ASSERT_EQ(shell(partitions, &table_after), 0);
    EXPECT_EQ(table_after, table_before);
    EXPECT_EQ(box.sfdisk_log(), "sfdisk -g\n");
    disk_contents after = read_disk(disk, work);
    EXPECT_EQ(slurp(after.trees[1] / "etc/motd"), "old system\n");
    EXPECT_FALSE(fs::exists(after.trees[1] / "var/pdb"));
    // Without a VGA console the programs' output has nowhere to go.
    if (c.serial_console) {
        EXPECT_EQ(box.hidden_console(), "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    scenarios, bootsetup_abort,
    ::testing::Values(abort_case{"no_to_continue_on_a_serial_console", true, "/sbin/init", false,
                                 "n\nPress ENTER to reboot\n"},
                      abort_case{"interrupt_in_the_menu_without_a_worker", false, "/sbin/bootsetup",
                                 true, "\n\nInstallation aborted\nPress ENTER to reboot\n"}),
    [](const ::testing::TestParamInfo<abort_case>& info) { return std::string(info.param.name); });

}  // namespace
