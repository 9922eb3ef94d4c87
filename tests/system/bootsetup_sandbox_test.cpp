// The machine that the bootsetup system tests run in, seen from inside by a
// stand-in init: if the namespaces, the private /dev, the media layer or the
// partitioning tool's dialect were wrong, every installation test would fail
// for reasons that have nothing to do with bootsetup.

#include "tests/system/bootsetup_sandbox.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/system/sandbox_cable.h"

namespace {

namespace fs = std::filesystem;
using bootsetup_sandbox::cable;
using bootsetup_sandbox::cable_end;
using bootsetup_sandbox::geometry;
using bootsetup_sandbox::loop_disk;
using bootsetup_sandbox::machine;

void put(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

TEST(bootsetup_sandbox, machine_seen_from_inside) {
    std::string why = bootsetup_sandbox::unavailable_reason();
    if (!why.empty()) GTEST_SKIP() << why;

    machine box;
    ASSERT_EQ(box.failure(), "");
    loop_disk disk(box.work_dir() + "/disk.img", geometry{1023, 16, 63});
    if (!disk.ready()) GTEST_SKIP() << disk.failure();
    ASSERT_TRUE(box.set_disk(disk)) << box.failure();

    fs::path media = box.work_dir() + "/media";
    put(media / "cd/hello.txt", "from the disc\n");
    put(media / "floppy/tarnvale.n00", "first part\n");
    ASSERT_TRUE(box.add_iso_medium("/dev/hdc", media / "cd")) << box.failure();
    ASSERT_TRUE(box.set_vfat_medium("/dev/fd0", media / "floppy")) << box.failure();

    bootsetup_sandbox::options how;
    how.program = TARNVALE_SANDBOX_FAKE_INIT;
    ASSERT_TRUE(box.start(how)) << box.failure();
    ASSERT_TRUE(box.expect("ready\n", 30000)) << box.screen();
    std::string report = box.last_expected();

    EXPECT_NE(report.find("pid 1 host sandbox\n"), std::string::npos) << report;
    EXPECT_NE(report.find("interfaces: lo \n"), std::string::npos) << report;
    EXPECT_NE(report.find("dev: fd0 fuse hda hdc null tty0 tty9\n"), std::string::npos) << report;
    EXPECT_NE(report.find("mount /dev/hdc iso9660: from the disc\n"), std::string::npos) << report;
    EXPECT_NE(report.find("mount /dev/hda vfat: Invalid argument\n"), std::string::npos) << report;
    EXPECT_NE(report.find("mount /dev/fd0 vfat: first part\n"), std::string::npos) << report;
    EXPECT_NE(report.find("/dev/hda: 1023 cylinders, 16 heads, 63 sectors/track\nstatus 0\n"),
              std::string::npos)
        << report;
    // A blank disk dumps nothing; a written one lists all four slots.
    EXPECT_NE(report.find("sectors/track\nstatus 0\nstatus 0\nstatus 0\n"), std::string::npos)
        << report;
    EXPECT_NE(report.find("dev: fd0 fuse hda hda1 hda2 hdc null tty0 tty9\n"), std::string::npos)
        << report;
    EXPECT_NE(report.find("/dev/hda1 : start=       63, size=     1953, Id=83, bootable\n"
                          "/dev/hda2 : start=     2016, size=  1029168, Id=83, bootable\n"
                          "/dev/hda3 : start=        0, size=        0, Id= 0\n"
                          "/dev/hda4 : start=        0, size=        0, Id= 0\n"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("refused, not the sandbox disk\nstatus 256\n"), std::string::npos)
        << report;

    box.send("key\n");
    ASSERT_TRUE(box.wait(30000));
    EXPECT_TRUE(box.rebooted());
    EXPECT_NE(box.screen().find("got key\n"), std::string::npos);
    EXPECT_EQ(box.screen().find("reboot returned"), std::string::npos);

    // The table is really on the host's loop device.
    std::string table;
    ASSERT_EQ(bootsetup_sandbox::shell("sfdisk -d " + disk.device(), &table), 0);
    EXPECT_NE(table.find("p1 : start=          63, size=        1953, type=83, bootable"),
              std::string::npos)
        << table;
    EXPECT_NE(table.find("p2 : start=        2016, size=     1029168, type=83, bootable"),
              std::string::npos)
        << table;
}

TEST(bootsetup_sandbox, serial_console_and_a_program_that_is_not_init) {
    std::string why = bootsetup_sandbox::unavailable_reason();
    if (!why.empty()) GTEST_SKIP() << why;

    machine box;
    bootsetup_sandbox::options how;
    how.program = TARNVALE_SANDBOX_FAKE_INIT;
    how.argv0 = "/sbin/bootsetup";
    how.serial_console = true;
    ASSERT_TRUE(box.start(how)) << box.failure();
    ASSERT_TRUE(box.expect("ready\n", 30000)) << box.screen();
    EXPECT_NE(box.last_expected().find("dev: fuse null tty9 ttyS0\n"), std::string::npos)
        << box.last_expected();
    box.send("\n");
    ASSERT_TRUE(box.wait(30000));
    EXPECT_TRUE(box.rebooted());
}

// Two machines joined by a cable: each sees its own end of it, and only
// that, beside its loopback interface; the host never holds either end.
TEST(bootsetup_sandbox, two_machines_joined_by_a_cable) {
    std::string why = bootsetup_sandbox::unavailable_reason();
    if (!why.empty()) GTEST_SKIP() << why;

    machine left, right;
    bootsetup_sandbox::options how;
    how.program = TARNVALE_SANDBOX_FAKE_INIT;
    how.held = true;
    {
        machine unstarted;
        cable refused(left, "02:54:56:00:00:01", unstarted, "02:54:56:00:00:02");
        EXPECT_FALSE(refused.ready());
    }
    ASSERT_TRUE(left.start(how)) << left.failure();
    ASSERT_TRUE(right.start(how)) << right.failure();
    // Held: nothing runs before the cable is in.
    EXPECT_FALSE(left.expect("pid 1", 300));

    cable wire(left, "02:54:56:00:00:01", right, "02:54:56:00:00:02");
    ASSERT_TRUE(wire.ready()) << wire.failure();
    EXPECT_EQ(cable(left, "02:54:56:00:00:03", left, "02:54:56:00:00:04").failure(),
              "refusing: both ends in one network namespace");
    std::string address;
    ASSERT_EQ(wire.run_in_network(cable_end::b, "ip -o link show dev " + wire.name(cable_end::b),
                                  &address),
              0);
    EXPECT_NE(address.find("link/ether 02:54:56:00:00:02 "), std::string::npos) << address;
    ASSERT_TRUE(left.release());
    ASSERT_TRUE(right.release());
    ASSERT_TRUE(left.expect("ready\n", 30000)) << left.screen();
    ASSERT_TRUE(right.expect("ready\n", 30000)) << right.screen();
    EXPECT_NE(left.screen().find("interfaces: lo " + wire.name(cable_end::a) + " \n"),
              std::string::npos)
        << left.screen();
    EXPECT_NE(right.screen().find("interfaces: lo " + wire.name(cable_end::b) + " \n"),
              std::string::npos)
        << right.screen();

    // Powered off, a machine leaves its end plugged in.
    ASSERT_TRUE(left.power_off());
    ASSERT_TRUE(left.wait(10000));
    EXPECT_FALSE(left.rebooted());
    EXPECT_NE(wire.received_bytes(cable_end::a), -1);
    right.send("\n");
    ASSERT_TRUE(right.wait(30000));
}

}  // namespace
