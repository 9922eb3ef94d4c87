// Floppy installations of a set of two data floppies: the first with one
// damaged block in every group, and on the way a floppy without the asked
// part and a floppy of another set; then bad floppies whose headers belong
// to the set but tell a wrong number of floppies.

#include <functional>

#include "tests/system/bootsetup_fixture.h"

namespace {

using namespace bootsetup_test;

void make_set(const fs::path& stream, const fs::path& out, const std::string& set_id,
              std::uintmax_t floppy_bytes) {
    fs::create_directories(out);
    std::string command = std::string(TARNVALE_BIN_DIR) + "/vsktool floppies --set-id " + set_id +
                          " --block-size 1024 --group-blocks 8 --parity-blocks 1 --floppy-bytes " +
                          std::to_string(floppy_bytes) + " " + quote(out.string()) + " " +
                          quote(stream.string());
    std::string output;
    ASSERT_EQ(shell(command + " 2>&1", &output), 0) << output;
}

// One floppy's directory holding only the given part file.
fs::path floppy(const fs::path& set, const fs::path& work, const std::string& part,
                const std::string& label) {
    fs::path directory = work / ("floppy-" + label);
    fs::create_directories(directory);
    fs::copy_file(set / part, directory / part, fs::copy_options::overwrite_existing);
    return directory;
}

// The bundle of "system" and "ppp" as the package stream of the set "1001"
// in WORK/set, cut so that it takes two floppies.
void make_two_floppy_set(const fs::path& work, std::uintmax_t* floppy_bytes_used) {
    fs::path packages = work / "packages";
    build_media(work, packages,
                {media_package("system", version(1, 0)),
                 media_package("ppp", version(2, 4), {{"system"}})});
    fs::path stream = work / "routerset.vsk";
    std::string output;
    ASSERT_EQ(
        shell(std::string(TARNVALE_BIN_DIR) +
                  "/vsktool bundle --name routerset --version 1.0 --arch i386 " +
                  quote(stream.string()) + " " + quote((packages / "system-1.0.vsk").string()) +
                  " " + quote((packages / "ppp-2.4.vsk").string()) + " 2>&1",
              &output),
        0)
        << output;
    // Room for a bit more than half the stream on each floppy.
    std::uintmax_t floppy_bytes = fs::file_size(stream) * 7 / 10;
    make_set(stream, work / "set", "1001", floppy_bytes);
    ASSERT_TRUE(fs::exists(work / "set/tarnvale.n01"));
    ASSERT_FALSE(fs::exists(work / "set/tarnvale.n02"));
    if (floppy_bytes_used != nullptr) *floppy_bytes_used = floppy_bytes;
}

void expect_whole_set_installed(const fs::path& root) {
    EXPECT_TRUE(fs::is_directory(root / "var/pdb/routerset"));
    EXPECT_EQ(slurp(root / "bin/bash"), slurp("/bin/bash-static"));
    EXPECT_EQ(slurp(root / "usr/share/ppp/README"), "ppp 2.4\n");
    EXPECT_EQ(slurp(root / "var/install-order"), "system\nppp\n");
    EXPECT_EQ(slurp(root / "var/postinstall.done"), "postinstall ran\n");
    EXPECT_FALSE(fs::exists(root / "CDINSTALL"));
    EXPECT_FALSE(fs::exists(root / "autorun.scr"));
}

// Flips a byte of data block (group % 7) in every group of a part file;
// returns how many groups there are.
int damage_every_group(const fs::path& part) {
    std::string bytes = slurp(part);
    const std::size_t header = 32, block = 1024, group = 8 * block;
    int groups = static_cast<int>((bytes.size() - header) / group);
    for (int g = 0; g < groups; ++g) bytes[header + g * group + (g % 7) * block + 100] ^= 0x5A;
    put(part, bytes);
    return groups;
}

TEST(bootsetup_floppy, damaged_blocks_repaired_and_a_foreign_floppy_refused) {
    std::string why = bootsetup_sandbox::unavailable_reason();
    if (!why.empty()) GTEST_SKIP() << why;

    machine box;
    ASSERT_EQ(box.failure(), "");
    fs::path work = box.work_dir();
    loop_disk disk((work / "disk.img").string(), geometry{200, 16, 63});
    if (!disk.ready()) GTEST_SKIP() << disk.failure();

    std::uintmax_t floppy_bytes = 0;
    ASSERT_NO_FATAL_FAILURE(make_two_floppy_set(work, &floppy_bytes));
    make_set(work / "routerset.vsk", work / "other-set", "2002", floppy_bytes);
    int groups = damage_every_group(work / "set/tarnvale.n00");
    ASSERT_GT(groups, 1);

    ASSERT_TRUE(box.set_disk(disk)) << box.failure();
    ASSERT_TRUE(box.set_vfat_medium("/dev/fd0", "")) << box.failure();
    ASSERT_TRUE(box.start()) << box.failure();

    ASSERT_TRUE(box.expect("Welcome to Tarnvale Router Software floppy installation\n"))
        << box.screen();
    ASSERT_TRUE(box.expect("Do you want to keep old configuration?  [y/n]:")) << box.unread();
    box.send("x");  // only y and n are answers
    ASSERT_TRUE(box.expect("\a")) << box.unread();
    box.send("N");
    ASSERT_TRUE(box.expect("Continue? [y/n]:")) << box.unread();
    box.send("Y");

    const std::string second = "\nPlease insert 2nd installation floppy.\nPress ENTER when ready\n";
    const std::string third = "\nPlease insert 3rd installation floppy.\nPress ENTER when ready\n";
    ASSERT_TRUE(box.expect(second, 120000)) << box.unread();
    ASSERT_TRUE(box.set_vfat_medium("/dev/fd0",
                                    floppy(work / "set", work, "tarnvale.n00", "first").string()));
    box.send("\n");
    ASSERT_TRUE(box.expect("Installing part 1 of 2...\n")) << box.unread();

    // The first floppy again: it lacks the asked part.
    ASSERT_TRUE(box.expect(third)) << box.unread();
    box.send("\n");
    ASSERT_TRUE(box.expect("Wrong floppy!\n")) << box.unread();
    ASSERT_TRUE(box.expect(third)) << box.unread();
    // The second floppy of another set.
    ASSERT_TRUE(box.set_vfat_medium(
        "/dev/fd0", floppy(work / "other-set", work, "tarnvale.n01", "foreign").string()));
    box.send("\n");
    ASSERT_TRUE(box.expect("ERROR: bad floppy, please replace it.\n")) << box.unread();
    ASSERT_TRUE(box.expect(third)) << box.unread();
    ASSERT_TRUE(box.set_vfat_medium("/dev/fd0",
                                    floppy(work / "set", work, "tarnvale.n01", "second").string()));
    box.send("\n");
    ASSERT_TRUE(box.expect("Installing part 2 of 2...\n")) << box.unread();
    ASSERT_TRUE(box.expect("Checking disk integrity...", 120000)) << box.unread();
    ASSERT_TRUE(box.expect("\nSoftware installed.\nRemove boot floppy\nPress ENTER to reboot\n"))
        << box.unread();
    box.send("\n");
    ASSERT_TRUE(box.wait(30000));
    EXPECT_TRUE(box.rebooted());

    std::string hidden = box.hidden_console();
    std::string repaired;
    for (int g = 0; g < groups; ++g)
        repaired += "Recovering bad block #" + std::to_string(g % 7) + "\n";
    EXPECT_NE(hidden.find(repaired), std::string::npos) << hidden;
    EXPECT_NE(hidden.find("fsck called: -d -v\n"), std::string::npos) << hidden;

    disk_contents after = read_disk(disk, work);
    EXPECT_EQ(table_entry(after.table, disk, 1), "start=63,size=201537,type=83,bootable")
        << after.table;
    EXPECT_TRUE(has_journal(after.superblocks[1]));
    expect_whole_set_installed(after.trees[1]);
}

// Little-endian fields of a part file's header.
void set_le16(std::string& bytes, std::size_t offset, unsigned value) {
    bytes[offset] = static_cast<char>(value & 0xff);
    bytes[offset + 1] = static_cast<char>(value >> 8 & 0xff);
}

void set_le32(std::string& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>(value >> (8 * i) & 0xff);
}

// A floppy holding PART of the set changed by CHANGE, under the part's own
// file name.
fs::path bad_floppy(const fs::path& work, const std::string& part, const std::string& label,
                    const std::function<void(std::string&)>& change) {
    std::string bytes = slurp(work / "set" / part);
    change(bytes);
    fs::path directory = work / ("floppy-" + label);
    put(directory / part, bytes);
    return directory;
}

// Every bad floppy below carries the set's magic and identifier, and a part
// count that would end the set before its last floppy if it were believed.
TEST(bootsetup_floppy, a_bad_floppy_is_asked_for_again_whatever_its_header_says) {
    std::string why = bootsetup_sandbox::unavailable_reason();
    if (!why.empty()) GTEST_SKIP() << why;

    machine box;
    ASSERT_EQ(box.failure(), "");
    fs::path work = box.work_dir();
    loop_disk disk((work / "disk.img").string(), geometry{200, 16, 63});
    if (!disk.ready()) GTEST_SKIP() << disk.failure();
    ASSERT_NO_FATAL_FAILURE(make_two_floppy_set(work, nullptr));

    // Offsets in a part file: the header fields, then the first group.
    const std::size_t data_length_at = 4, part_count_at = 14, group_blocks_at = 18, header = 32;
    const std::size_t block = 1024, group = 8 * block;
    struct bad_case {
        std::string label;
        std::string part;
        std::function<void(std::string&)> change;
        std::string shown;  // what the header lets through before the floppy is refused
    };
    const bad_case cases[] = {
        {"no-data-no-parts", "tarnvale.n00",
         [&](std::string& bytes) {
             bytes.resize(header);
             set_le32(bytes, data_length_at, 0);
             set_le16(bytes, part_count_at, 0);
         },
         "Installing part 1 of 0...\n"},
        {"last-but-cut-short", "tarnvale.n01",
         [&](std::string& bytes) {
             set_le16(bytes, part_count_at, 1);
             bytes.resize(header + group / 2);
         },
         "Installing part 2 of 1...\n"},
        {"last-but-groups-too-big", "tarnvale.n01",
         [&](std::string& bytes) {
             set_le16(bytes, part_count_at, 1);
             set_le16(bytes, group_blocks_at, 1025);
         },
         ""},
        {"last-with-two-bad-blocks", "tarnvale.n01",
         [&](std::string& bytes) {
             set_le16(bytes, part_count_at, 1);
             bytes[header + 10] ^= 0x5A;
             bytes[header + block + 10] ^= 0x5A;
         },
         "Installing part 2 of 1...\n"},
    };

    ASSERT_TRUE(box.set_disk(disk)) << box.failure();
    ASSERT_TRUE(box.set_vfat_medium("/dev/fd0", "")) << box.failure();
    ASSERT_TRUE(box.start()) << box.failure();
    ASSERT_TRUE(box.expect("Do you want to keep old configuration?  [y/n]:")) << box.unread();
    box.send("n");
    ASSERT_TRUE(box.expect("Continue? [y/n]:")) << box.unread();
    box.send("y");

    auto prompt = [](const std::string& ordinal) {
        return "\nPlease insert " + ordinal + " installation floppy.\nPress ENTER when ready\n";
    };
    auto insert = [&](const fs::path& floppy) {
        ASSERT_TRUE(box.set_vfat_medium("/dev/fd0", floppy.string())) << box.failure();
        box.send("\n");
    };
    auto refuse_bad_floppies = [&](const std::string& part, const std::string& ordinal) {
        for (const bad_case& c : cases) {
            if (c.part != part) continue;
            SCOPED_TRACE(c.label);
            ASSERT_NO_FATAL_FAILURE(insert(bad_floppy(work, c.part, c.label, c.change)));
            ASSERT_TRUE(box.expect("\nERROR: bad floppy, please replace it.\n" + prompt(ordinal)))
                << box.unread();
            const std::string seen = box.last_expected();
            if (c.shown.empty()) {
                EXPECT_EQ(seen.find("Installing part"), std::string::npos) << seen;
            } else {
                EXPECT_NE(seen.find(c.shown), std::string::npos) << seen;
            }
        }
    };
    ASSERT_TRUE(box.expect(prompt("2nd"), 120000)) << box.unread();
    ASSERT_NO_FATAL_FAILURE(refuse_bad_floppies("tarnvale.n00", "2nd"));
    ASSERT_NO_FATAL_FAILURE(insert(floppy(work / "set", work, "tarnvale.n00", "first")));
    ASSERT_TRUE(box.expect("Installing part 1 of 2...\n")) << box.unread();
    ASSERT_TRUE(box.expect(prompt("3rd"))) << box.unread();
    ASSERT_NO_FATAL_FAILURE(refuse_bad_floppies("tarnvale.n01", "3rd"));
    ASSERT_NO_FATAL_FAILURE(insert(floppy(work / "set", work, "tarnvale.n01", "second")));
    ASSERT_TRUE(box.expect("Installing part 2 of 2...\n")) << box.unread();
    ASSERT_TRUE(
        box.expect("\nSoftware installed.\nRemove boot floppy\nPress ENTER to reboot\n", 120000))
        << box.unread();
    box.send("\n");
    ASSERT_TRUE(box.wait(30000));
    EXPECT_TRUE(box.rebooted());
    expect_whole_set_installed(read_disk(disk, work).trees[1]);
}

}  // namespace
