#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "tests/installer/scratch_fixture.h"

namespace installer_test {
namespace {

using builder::package_spec;
using builder::version;

class scripts : public scratch_test {};

TEST_F(scripts, are_stored_behind_the_preamble_and_run_without_console_output) {
    package_spec a{.name = "a", .version = version(1, 0)};
    a.oninstall = "echo noise; echo $PWD > /ran-in";
    a.onuninstall = "";
    const sandbox::result r = install(package(a));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("/var/pdb/a/oninstall"),
              "#!/bin/bash\n\n. /vesk/lib/install/profile.sh\n\necho noise; echo $PWD > /ran-in");
    EXPECT_EQ(read("/var/pdb/a/onuninstall"), "#!/bin/bash\n\n. /vesk/lib/install/profile.sh\n\n");
    struct stat st;
    ASSERT_EQ(stat(path("/var/pdb/a/oninstall").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    EXPECT_EQ(read("/ran-in"), "/\n");
    EXPECT_EQ(r.out.find("noise"), std::string::npos);
}

TEST_F(scripts, a_failing_script_is_warned_about_and_changes_nothing_else) {
    package_spec a{.name = "a", .version = version(1, 0)};
    a.oninstall = "exit 1";
    const sandbox::result r = install(package(a));
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(shows(r, "WARNING: package a-1.0 oninstall script failed")) << r.out;
    EXPECT_TRUE(shows(r, "installed a-1.0"));
}

TEST_F(scripts, a_script_part_cut_short_is_a_broken_package) {
    package_spec a{.name = "a", .version = version(1, 0)};
    a.oninstall = std::string(64, '#');
    const std::string inside = package(a);
    std::filesystem::resize_file(path(inside), std::filesystem::file_size(path(inside)) - 10);
    const sandbox::result r = install(inside);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(shows(r, "ERROR: installation of a-1.0 failed: broken package")) << r.out;
    EXPECT_FALSE(exists("/var/pdb/a"));
}

}  // namespace
}  // namespace installer_test
