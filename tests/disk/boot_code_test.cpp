// Boots disk images with our master boot record in a PC emulator: the
// program must start the right partition's boot sector and print its
// messages through the BIOS exactly where the sector does not boot.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "disk/boot_sector.h"
#include "tests/disk/disk_fixture.h"

namespace {

constexpr std::size_t sector_bytes = 512;

struct partition_entry {
    unsigned char status;
    unsigned char head;
    unsigned char sector_and_cylinder_high;  // sector in bits 0-5
    unsigned char cylinder;
};

// A boot sector that writes text to the first serial port, then "S" when
// SI points at the partition entry it was started from, and stops.
std::string marker_sector(const std::string& text, unsigned entry_address,
                          bool signed_sector = true) {
    std::string code = "\xba\xf8\x03";                                // mov $0x3f8, %dx
    for (char c : text) code += std::string("\xb0", 1) + c + "\xee";  // mov $c, %al; out %al, %dx
    code += "\x81\xfe";                                               // cmp $entry_address, %si
    code += static_cast<char>(entry_address & 0xff);
    code += static_cast<char>(entry_address >> 8);
    code += "\x75\x03\xb0S\xee";  // jne +3; mov $'S', %al; out %al, %dx
    code += "\xfa\xf4\xeb\xfd";   // cli; hlt; jmp .-1
    std::string sector(sector_bytes, '\0');
    sector.replace(0, code.size(), code);
    if (signed_sector) sector.replace(510, 2, "\x55\xaa");
    return sector;
}

// Sector 0 with our program and the given entries, then sectors 1, 2, ...
// of the image (a 1 MiB disk).
std::string disk_image(const std::vector<partition_entry>& entries,
                       const std::vector<std::string>& sectors) {
    std::string image(1 << 20, '\0');
    image.replace(0, boot_code_bytes, reinterpret_cast<const char*>(boot_code_image),
                  boot_code_bytes);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const partition_entry& e = entries[i];
        const char entry[16] = {static_cast<char>(e.status), static_cast<char>(e.head),
                                static_cast<char>(e.sector_and_cylinder_high),
                                static_cast<char>(e.cylinder), '\x83'};
        image.replace(partition_table_offset + 16 * i, 16, entry, 16);
    }
    image.replace(510, 2, "\x55\xaa");
    for (std::size_t i = 0; i < sectors.size(); ++i)
        image.replace((i + 1) * sector_bytes, sector_bytes, sectors[i]);
    return image;
}

// Text of the VGA screen saved from 0xB8000: character and attribute bytes.
std::string screen_text(const std::string& memory) {
    std::string text;
    for (std::size_t i = 0; i + 1 < memory.size(); i += 2) {
        if (i % 160 == 0) text += '\n';
        text += memory[i] == '\0' ? ' ' : memory[i];
    }
    return text;
}

struct boot_result {
    std::string serial;
    std::string screen;
};

class boot_code_test : public disk_test::scratch_fixture {
protected:
    void SetUp() override {
        scratch_fixture::SetUp();
        if (std::system("command -v qemu-system-i386 >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "qemu-system-i386 is not installed";
        }
        signal(SIGPIPE, SIG_IGN);
    }

    // Boots the image until the serial port shows serial_wanted or the
    // screen shows screen_wanted, at most a few seconds.
    boot_result boot(const std::string& image, const std::string& serial_wanted,
                     const std::string& screen_wanted) {
        const std::string disk = dir + "/disk.img";
        const std::string serial = dir + "/serial";
        const std::string screen = dir + "/screen";
        disk_test::spill(disk, image);
        disk_test::spill(serial, "");
        int monitor[2];
        EXPECT_EQ(pipe(monitor), 0);
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(monitor[0], 0);
            close(monitor[1]);
            std::freopen("/dev/null", "w", stdout);
            const std::string drive = "file=" + disk + ",format=raw,if=ide";
            const std::string serial_file = "file:" + serial;
            execlp("qemu-system-i386", "qemu-system-i386", "-nodefaults", "-display", "none",
                   "-vga", "std", "-m", "16", "-no-reboot", "-drive", drive.c_str(), "-serial",
                   serial_file.c_str(), "-monitor", "stdio", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(monitor[0]);
        boot_result result;
        // The monitor reads an unquoted path as an expression.
        const std::string save = "pmemsave 0xb8000 4000 \"" + screen + "\"\n";
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            result.serial = disk_test::slurp(serial);
            const std::string memory = disk_test::slurp(screen);
            if (memory.size() == 4000) result.screen = screen_text(memory);
            if (!serial_wanted.empty() && result.serial.find(serial_wanted) != std::string::npos)
                break;
            if (!screen_wanted.empty() && result.screen.find(screen_wanted) != std::string::npos)
                break;
            if (write(monitor[1], save.data(), save.size()) < 0) break;
        }
        const char quit[] = "quit\n";
        (void)write(monitor[1], quit, sizeof quit - 1);
        close(monitor[1]);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return result;
    }
};

// Partition entries live at 0x07BE + 16 * n once the program has moved
// itself to 0x0600.
constexpr unsigned entry_address(int n) {
    return 0x7be + 16 * n;
}

constexpr partition_entry inactive_at_sector(unsigned char sector) {
    return {0x00, 0, sector, 0};
}
constexpr partition_entry active_at_sector(unsigned char sector) {
    return {0x80, 0, sector, 0};
}

TEST_F(boot_code_test, starts_the_first_active_partition) {
    const struct {
        const char* label;
        std::vector<partition_entry> entries;
        const char* marker;
    } cases[] = {
        {"first entry active", {active_at_sector(2)}, "ONES"},
        {"two active entries", {active_at_sector(2), active_at_sector(3)}, "ONES"},
        {"after an inactive entry",
         {inactive_at_sector(2), inactive_at_sector(2), active_at_sector(3)},
         "TWOS"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const int active = c.marker[0] == 'O' ? 0 : 2;
        const std::string image =
            disk_image(c.entries, {marker_sector("ONE", entry_address(active)),
                                   marker_sector("TWO", entry_address(active))});
        const boot_result r = boot(image, c.marker, "");
        EXPECT_EQ(r.serial, c.marker);
    }
}

TEST_F(boot_code_test, prints_why_a_partition_cannot_be_started) {
    const struct {
        const char* label;
        partition_entry entry;
        bool signed_sector;
        const char* message;
    } cases[] = {
        {"sector without signature", active_at_sector(2), false, "Missing operating system"},
        {"damaged status byte", {0x7f, 0, 2, 0}, true, "Missing operating system"},
        // Cylinder 1023, head 254, sector 63: far beyond a 1 MiB disk.
        {"sector beyond the disk", {0x80, 254, 0xff, 0xff}, true, "Error loading operating system"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string image =
            disk_image({c.entry}, {marker_sector("ONE", entry_address(0), c.signed_sector)});
        const boot_result r = boot(image, "", c.message);
        EXPECT_NE(r.screen.find(c.message), std::string::npos) << r.screen;
        EXPECT_EQ(r.serial, "");
    }
}

TEST_F(boot_code_test, hands_over_to_the_bios_without_an_active_partition) {
    const std::string image =
        disk_image({inactive_at_sector(2)}, {marker_sector("ONE", entry_address(0))});
    const boot_result r = boot(image, "", "No bootable device");
    EXPECT_NE(r.screen.find("No bootable device"), std::string::npos) << r.screen;
    EXPECT_EQ(r.screen.find("operating system"), std::string::npos) << r.screen;
    EXPECT_EQ(r.serial, "");
}

}  // namespace
