// Mounts file system images on loop devices, inside a mount namespace of
// the test's own, through partition names that point at those devices.

#include "disk/mount_target.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "tests/disk/disk_fixture.h"

namespace {

std::string command_output(const std::string& command) {
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return "";
    std::string text;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) text += buffer;
    pclose(pipe);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

class mount_target_test : public disk_test::scratch_fixture {
protected:
    void SetUp() override {
        scratch_fixture::SetUp();
        if (geteuid() != 0) GTEST_SKIP() << "mounting needs root";
        if (std::system(
                "command -v losetup >/dev/null 2>&1 && command -v mke2fs >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "losetup or mke2fs is missing";
        }
    }

    void TearDown() override {
        for (const std::string& loop : loops_) {
            (void)std::system(("losetup -d " + loop).c_str());
        }
        loops_.clear();
        scratch_fixture::TearDown();
    }

    // Gives the next case a directory of its own for the disk, its
    // partitions' images and the mount point.
    void start_case(int index) {
        case_dir_ = dir + "/case" + std::to_string(index);
        mkdir(case_dir_.c_str(), 0755);
        names_.clear();
    }

    // Makes partition number of the case's disk: an image of the given
    // kind ("ext2", "ext3", or "junk" for no file system) on a loop device.
    bool make_partition(int number, const std::string& kind) {
        const std::string image = case_dir_ + "/image" + std::to_string(number);
        disk_test::spill(image, std::string(8 << 20, '\0'));
        if (kind != "junk" &&
            std::system(("mke2fs -q -F -t " + kind + " " + image + " >/dev/null 2>&1").c_str()) !=
                0) {
            return false;
        }
        const std::string loop = command_output("losetup -f --show " + image);
        if (loop.rfind("/dev/loop", 0) != 0) return false;
        loops_.push_back(loop);
        // The mount table names a device by the path it was mounted from
        // or, on some kernels, by the loop device behind it.
        names_.push_back({loop, "d" + std::to_string(number)});
        names_.push_back({disk() + std::to_string(number), "d" + std::to_string(number)});
        return symlink(loop.c_str(), (disk() + std::to_string(number)).c_str()) == 0;
    }

    std::string disk() const { return case_dir_ + "/d"; }

    // Runs mount_target in a child with a mount namespace of its own and
    // returns its result and what it left mounted, as "d2 / ext3" lines.
    std::string mount_in_namespace(bool with_boot) {
        const std::string mount_point = case_dir_ + "/mnt";
        mkdir(mount_point.c_str(), 0755);
        int report[2];
        if (pipe(report) != 0) return "pipe failed";
        const pid_t pid = fork();
        if (pid == 0) {
            close(report[0]);
            std::string text;
            if (unshare(CLONE_NEWNS) != 0 ||
                mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
                text = "no namespace";
            } else {
                text = mount_target(disk().c_str(), mount_point.c_str(), with_boot) ? "true\n"
                                                                                    : "false\n";
                std::istringstream mounts(disk_test::slurp("/proc/self/mounts"));
                std::string device, where, type, rest;
                while (mounts >> device >> where >> type && std::getline(mounts, rest)) {
                    if (where.rfind(mount_point, 0) != 0) continue;
                    for (const auto& name : names_) {
                        if (name.first == device) device = name.second;
                    }
                    const std::string inside = where.substr(mount_point.size());
                    text += device + " " + (inside.empty() ? "/" : inside) + " " + type + "\n";
                }
            }
            (void)write(report[1], text.data(), text.size());
            _exit(0);
        }
        close(report[1]);
        std::string text;
        char buffer[256];
        ssize_t count;
        while ((count = read(report[0], buffer, sizeof buffer)) > 0) text.append(buffer, count);
        close(report[0]);
        waitpid(pid, nullptr, 0);
        return text;
    }

private:
    std::string case_dir_;
    std::vector<std::string> loops_;
    std::vector<std::pair<std::string, std::string>> names_;
};

TEST_F(mount_target_test, mounts_the_root_and_the_boot_partition_it_finds) {
    const struct {
        const char* label;
        const char* partition1;
        const char* partition2;  // null: no partition 2
        bool with_boot;
        const char* outcome;
    } cases[] = {
        {"two partitions", "ext2", "ext3", true, "true\nd2 / ext3\nd1 /boot ext2\n"},
        {"two partitions, root only", "ext2", "ext3", false, "true\nd2 / ext3\n"},
        {"two partitions without journal", "ext2", "ext2", true,
         "true\nd2 / ext2\nd1 /boot ext2\n"},
        {"one journalled partition", "ext3", nullptr, true, "true\nd1 / ext3\n"},
        {"one plain partition", "ext2", nullptr, true, "true\nd1 / ext2\n"},
        {"boot partition unusable", "junk", "ext3", true, "false\n"},
        {"nothing usable", "junk", nullptr, false, "false\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        start_case(static_cast<int>(&c - cases));
        ASSERT_TRUE(make_partition(1, c.partition1));
        if (c.partition2 != nullptr) {
            ASSERT_TRUE(make_partition(2, c.partition2));
        }
        const std::string outcome = mount_in_namespace(c.with_boot);
        if (outcome == "no namespace") GTEST_SKIP() << "no private mount namespace here";
        EXPECT_EQ(outcome, c.outcome);
    }
}

}  // namespace
