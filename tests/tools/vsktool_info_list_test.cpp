#include <sys/sysmacros.h>

#include <string>
#include <vector>

#include "package/format.h"
#include "package/version.h"
#include "tests/support/container_bytes.h"
#include "tests/tools/vsktool_harness.h"

namespace {

using fixture::container_bytes;
using fixture::entry_bytes;
using fixture::header_record_bytes;
using fixture::part_bytes;
using fixture::relation_list_bytes;
using fixture::zlib_bytes;

constexpr std::uint32_t when = 1000000000;  // 2001-09-09 01:46:40 UTC

std::string sample_archive() {
    return entry_bytes(0x41ed, "/etc", "", 0, 0, when) +
           entry_bytes(0x81a4, "/etc/hosts", "127.0.0.1 localhost\n", 0, 0, when) +
           entry_bytes(0x8ded, "/bin/su", "elf", 0, 100, when) +
           entry_bytes(0xa1ff, "/bin/sh", "bash", 0, 0, when) +
           entry_bytes(0x21b0, "/dev/ttyS0", fixture::le32(makedev(4, 64)), 0, 5, when) +
           entry_bytes(0x61b0, "/dev/hda", fixture::le32(makedev(3, 0)), 0, 6, when) +
           entry_bytes(0x11a4, "/dev/initctl", "", 1234, 65535, when);
}

std::string sample_package_parts(const std::string& name) {
    return part_bytes(part_package, header_record_bytes(name, make_version(3, 0, 'c', 3), 4)) +
           part_bytes(part_description, "Web administration\nfor the router") +
           part_bytes(part_architecture, "i586") +
           part_bytes(part_depends, relation_list_bytes({{"netutils", make_version(1, 0, 'f', 0),
                                                          make_version(2, 0, 'f', 0), 0},
                                                         {"base-system"}})) +
           part_bytes(part_provides, relation_list_bytes({{"httpd", 0, 0, -2}})) +
           part_bytes(part_conflicts, relation_list_bytes({{"oldfirewall"}})) +
           part_bytes(part_oninstall, "echo hi\n") +
           part_bytes(part_files, zlib_bytes(sample_archive()));
}

TEST(vsktool_info, ShowsEveryField) {
    vsk::scratch_dir scratch;
    std::string path = scratch / "web.vsk";
    std::string bytes = container_bytes(sample_package_parts("webadmin"), magic_untracked);
    vsk::spill(path, bytes);
    vsk::run_result shown = vsk::run({"info", path});
    ASSERT_EQ(shown.status, 0) << shown.err;
    std::string size = std::to_string(bytes.size());
    const std::string expected =
        "Package:      webadmin\n"
        "Version:      3.0rc3\n"
        "Revision:     4\n"
        "Tracking:     untracked (installed without a database entry)\n"
        "Architecture: i586\n"
        "Description:  Web administration\n"
        "              for the router\n"
        "Depends:      netutils (>= 1.0, <= 2.0)\n"
        "              base-system\n"
        "Provides:     httpd (priority -2)\n"
        "Conflicts:    oldfirewall\n"
        "Scripts:      oninstall (8 bytes)\n"
        "Files:        " +
        std::to_string(zlib_bytes(sample_archive()).size()) +
        " bytes compressed\n"
        "\n"
        "Size:         " +
        size + " bytes declared, " + size + " bytes in the file\n";
    EXPECT_EQ(shown.out, expected);
}

TEST(vsktool_info, ShowsABundleWithItsMembers) {
    vsk::scratch_dir scratch;
    std::string path = scratch / "suite.vsk";
    std::string bytes = container_bytes(
        part_bytes(part_bundle, header_record_bytes("suite", make_version(1, 2, 'f', 0), 0)) +
        part_bytes(part_disabled_members, relation_list_bytes({{"webadmin"}})) +
        part_bytes(part_package, header_record_bytes("netutils", make_version(1, 0, 'f', 0), 0)) +
        sample_package_parts("webadmin"));
    vsk::spill(path, bytes);
    vsk::run_result shown = vsk::run({"info", path});
    ASSERT_EQ(shown.status, 0) << shown.err;
    const char* expected_lines[] = {
        "Bundle:       suite\n",
        "Version:      1.2\n",
        "Tracking:     tracked\n",
        "Architecture: i386 (no architecture part)\n",
        "Disabled:     webadmin\n",
        "Members:      2\n",
        "\n  Package:      netutils\n  Version:      1.0\n",
        "  Scripts:      none\n  Files:        none\n",
        "\n  Package:      webadmin\n  Version:      3.0rc3\n",
        "  Depends:      netutils (>= 1.0, <= 2.0)\n",
    };
    for (const char* line : expected_lines) {
        EXPECT_NE(shown.out.find(line), std::string::npos) << line << "\nin:\n" << shown.out;
    }
}

TEST(vsktool_list, ListsEntriesLikeTar) {
    vsk::scratch_dir scratch;
    std::string path = scratch / "web.vsk";
    vsk::spill(path, container_bytes(sample_package_parts("webadmin")));
    vsk::run_result listed = vsk::run({"list", path});
    ASSERT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.out,
              "drwxr-xr-x 0/0               0 2001-09-09 01:46 /etc\n"
              "-rw-r--r-- 0/0              20 2001-09-09 01:46 /etc/hosts\n"
              "-rwsr-sr-x 0/100             3 2001-09-09 01:46 /bin/su\n"
              "lrwxrwxrwx 0/0               4 2001-09-09 01:46 /bin/sh -> bash\n"
              "crw-rw---- 0/5            4,64 2001-09-09 01:46 /dev/ttyS0\n"
              "brw-rw---- 0/6             3,0 2001-09-09 01:46 /dev/hda\n"
              "prw-r--r-- 1234/65535        0 2001-09-09 01:46 /dev/initctl\n");
}

// A name may hold anything; what reaches the terminal are printable
// characters and valid UTF-8, every other byte escaped.
TEST(vsktool_list, EscapesWhatATerminalWouldNotShow) {
    vsk::scratch_dir scratch;
    std::string path = scratch / "odd.vsk";
    vsk::spill(path,
               container_bytes(
                   part_bytes(part_package, header_record_bytes("odd", 1, 0)) +
                   part_bytes(part_files, zlib_bytes(entry_bytes(
                                              0x81a4, "/caf\xc3\xa9\x1b[2J\xff\xc3(\xc2\x85\x7f",
                                              "x", 0, 0, when)))));
    vsk::run_result listed = vsk::run({"list", path});
    ASSERT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.out,
              "-rw-r--r-- 0/0               1 2001-09-09 01:46 "
              "/caf\xc3\xa9\\033[2J\\377\\303(\\302\\205\\177\n");
}

TEST(vsktool_list, ListsEachMemberUnderAHeading) {
    vsk::scratch_dir scratch;
    std::string path = scratch / "suite.vsk";
    vsk::spill(
        path,
        container_bytes(
            part_bytes(part_bundle, header_record_bytes("suite", make_version(1, 0, 'f', 0), 0)) +
            part_bytes(part_package, header_record_bytes("base", make_version(1, 0, 'f', 0), 0)) +
            part_bytes(part_files, zlib_bytes(entry_bytes(0x81a4, "/a", "x", 0, 0, when))) +
            part_bytes(part_package, header_record_bytes("extra", make_version(2, 0, 'b', 1), 0)) +
            part_bytes(part_files, zlib_bytes(entry_bytes(0x81a4, "/b", "yy", 0, 0, when)))));
    vsk::run_result listed = vsk::run({"list", path});
    ASSERT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.out,
              "base-1.0:\n"
              "-rw-r--r-- 0/0               1 2001-09-09 01:46 /a\n"
              "\n"
              "extra-2.0beta1:\n"
              "-rw-r--r-- 0/0               2 2001-09-09 01:46 /b\n");
}

}  // namespace
