#include "bootsetup/modules.h"

#include <gtest/gtest.h>

#include "tests/disk/disk_fixture.h"

namespace {

using modules_test = disk_test::scratch_fixture;

TEST_F(modules_test, load_modules_runs_insmod_once_per_name) {
    fake_tool("/sbin/insmod", "echo \"$*\" >> " + dir + "/loaded\nexit 1\n");
    const char* const list[] = {"fat", "vfat", nullptr};
    load_modules(list);
    EXPECT_EQ(disk_test::slurp(dir + "/loaded"), "fat\nvfat\n");
    const char* const empty[] = {nullptr};
    load_modules(empty);
    EXPECT_EQ(disk_test::slurp(dir + "/loaded"), "fat\nvfat\n");
}

}  // namespace
