#include "disk/boot_sector.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/disk/disk_fixture.h"

namespace {

class boot_sector_test : public disk_test::scratch_fixture {
protected:
    // The scratch paths fit the 31 bytes a disk_record holds.
    disk_record disk_at(const std::string& path) {
        EXPECT_LT(path.size(), sizeof(disk_record::name));
        disk_record disk;
        clear_disk_record(disk);
        std::snprintf(disk.name, sizeof disk.name, "%s", path.c_str());
        return disk;
    }
};

// A disk image whose every byte differs from its neighbours, so that any
// byte moved, cleared or left behind shows.
std::string patterned_image(std::size_t bytes) {
    std::string image(bytes, '\0');
    for (std::size_t i = 0; i < bytes; ++i) image[i] = static_cast<char>(i * 7 + 3);
    return image;
}

TEST_F(boot_sector_test, install_puts_the_program_into_sector_0_and_keeps_the_table) {
    const std::string path = dir + "/disk.img";
    const std::string before = patterned_image(4096);
    disk_test::spill(path, before);
    install_boot_code(disk_at(path));
    const std::string after = disk_test::slurp(path);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after.substr(0, boot_code_bytes),
              std::string(reinterpret_cast<const char*>(boot_code_image), boot_code_bytes));
    EXPECT_EQ(after.substr(boot_code_bytes, 446 - boot_code_bytes),
              std::string(446 - boot_code_bytes, '\0'));
    EXPECT_EQ(after.substr(446), before.substr(446));
}

TEST(boot_code_image, ends_with_its_two_messages) {
    const std::string image(reinterpret_cast<const char*>(boot_code_image), boot_code_bytes);
    const std::string messages =
        std::string("Error loading operating system") + '\0' + "Missing operating system" + '\0';
    const std::size_t at = image.find(messages);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(image.find_first_not_of('\0', at + messages.size()), std::string::npos);
}

TEST_F(boot_sector_test, failures_are_reported_and_leave_the_disk_alone) {
    const std::string short_path = dir + "/short.img";
    disk_test::spill(short_path, std::string(100, 'x'));
    const std::string missing = dir + "/missing";
    unsigned char sector[boot_sector_bytes];

    testing::internal::CaptureStderr();
    EXPECT_FALSE(read_boot_sector(short_path.c_str(), sector));
    EXPECT_FALSE(read_boot_sector(missing.c_str(), sector));
    EXPECT_FALSE(write_boot_sector(missing.c_str(), sector));
    const std::string errors = testing::internal::GetCapturedStderr();
    const std::string read_line = errors.substr(0, errors.find('\n') + 1);
    EXPECT_EQ(read_line.rfind("could not read MBR: ", 0), 0u) << read_line;
    EXPECT_EQ(errors.substr(read_line.size()),
              "could not open MBR: No such file or directory\n"
              "could not open MBR: No such file or directory\n");
    // Writing never creates a file where the device should be.
    EXPECT_FALSE(disk_test::exists(missing));

    testing::internal::CaptureStderr();
    install_boot_code(disk_at(short_path));
    EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("could not read MBR: ", 0), 0u);
    EXPECT_EQ(disk_test::slurp(short_path), std::string(100, 'x'));
}

TEST_F(boot_sector_test, a_full_device_fails_the_write) {
    unsigned char sector[boot_sector_bytes] = {};
    testing::internal::CaptureStderr();
    EXPECT_FALSE(write_boot_sector("/dev/full", sector));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "could not write MBR: No space left on device\n");
}

}  // namespace
