#include <gtest/gtest.h>

#include <string>

#include "tests/installer/scratch_fixture.h"

namespace installer_test {
namespace {

using builder::package_spec;
using builder::regular;
using builder::version;

// Requests left in "schedule" files, carried out at the start of a run.
class scheduled : public scratch_test {
protected:
    void SetUp() override {
        scratch_test::SetUp();
        if (IsSkipped()) return;
        package_spec lib{.name = "lib", .version = version(1, 0)};
        lib.files = with_directories({regular("/opt/lib/liba", "l")});
        lib.oninstall = "echo lib-on >> /marks";
        lib.onuninstall = "echo lib-off >> /marks";
        given_installed(lib);
        package_spec app{.name = "app", .version = version(1, 0)};
        app.depends = {{"lib", 0, 0}};
        app.files = with_directories({regular("/opt/bin/app", "a")});
        given_installed(app);
        std::filesystem::remove(path("/marks"));
    }
    void schedule(const std::string& name, const std::string& action) {
        write("/var/pdb/" + name + "/schedule", action);
    }
    // A run with nothing to install beyond the scheduled actions.
    sandbox::result next_run() { return run({"/pkg/none.vsk"}); }
};

TEST_F(scheduled, disabling_what_another_needs_is_refused) {
    schedule("lib", "disable");
    const sandbox::result r = next_run();
    EXPECT_TRUE(shows(r, "WARNING: can not disable lib-1.0: app depends on it")) << r.out;
    EXPECT_EQ(read("/opt/lib/liba"), "l");
}

TEST_F(scheduled, disable_moves_below_x_and_enable_moves_back) {
    schedule("app", "disable");
    const sandbox::result off = next_run();
    EXPECT_TRUE(shows(off, "disabled app-1.0")) << off.out;
    EXPECT_EQ(read("/x/app/opt/bin/app"), "a");
    EXPECT_FALSE(exists("/opt/bin/app"));
    EXPECT_EQ(read("/var/pdb/app/files"), "x/app/opt/bin/app\n");
    EXPECT_TRUE(exists("/var/pdb/app/disabled"));

    schedule("app", "enable");
    const sandbox::result on = next_run();
    EXPECT_TRUE(shows(on, "enabled app-1.0")) << on.out;
    EXPECT_EQ(read("/opt/bin/app"), "a");
    EXPECT_EQ(read("/var/pdb/app/files"), "opt/bin/app\n");
    EXPECT_FALSE(exists("/var/pdb/app/disabled"));
    EXPECT_FALSE(exists("/x"));
}

// A repeated request must not move the files a second time: disabling a
// disabled package would bury them below "/x/app/x/app", and enabling an
// enabled one would fail every link and run its script again.
TEST_F(scheduled, repeated_requests_leave_the_files_in_place) {
    schedule("app", "disable");
    next_run();
    schedule("app", "disable");
    const sandbox::result again = next_run();
    EXPECT_FALSE(shows(again, "disabled app-1.0")) << again.out;
    EXPECT_EQ(read("/x/app/opt/bin/app"), "a");
    EXPECT_FALSE(exists("/x/app/x"));
    EXPECT_EQ(read("/var/pdb/app/files"), "x/app/opt/bin/app\n");

    std::filesystem::remove(path("/marks"));
    schedule("lib", "enable");
    const sandbox::result on = next_run();
    EXPECT_EQ(on.out.find("link failed"), std::string::npos) << on.out;
    EXPECT_FALSE(exists("/marks"));
    EXPECT_EQ(read("/opt/lib/liba"), "l");
}

// A file that never reached "/x/app" (its link failed on the way there)
// cannot be moved back: it keeps its path and the others still move.
TEST_F(scheduled, a_file_outside_the_disabled_location_stays_where_it_is) {
    schedule("app", "disable");
    next_run();
    write("/var/pdb/app/files", "opt/stray\nx/app/opt/bin/app\n");
    write("/opt/stray", "s");
    schedule("app", "enable");
    const sandbox::result r = next_run();
    EXPECT_TRUE(shows(r, "WARNING: link failed: No such file or directory")) << r.out;
    EXPECT_TRUE(shows(r, "enabled app-1.0"));
    EXPECT_EQ(read("/opt/stray"), "s");
    EXPECT_EQ(read("/opt/bin/app"), "a");
    EXPECT_EQ(read("/var/pdb/app/files"), "opt/bin/app\nopt/stray\n");
    EXPECT_FALSE(exists("/x"));
}

TEST_F(scheduled, enabling_a_package_enables_its_dependency_first) {
    given_installed(package_spec{.name = "other", .version = version(1, 0)});
    schedule("app", "disable");
    next_run();
    schedule("lib", "disable");
    next_run();
    ASSERT_TRUE(exists("/var/pdb/lib/disabled"));
    std::filesystem::remove(path("/marks"));
    schedule("app", "enable");
    const sandbox::result r = next_run();
    EXPECT_TRUE(shows(r, "enabled lib-1.0")) << r.out;
    EXPECT_TRUE(shows(r, "enabled app-1.0"));
    EXPECT_EQ(read("/marks"), "lib-on\n");
    EXPECT_EQ(read("/opt/lib/liba"), "l");
}

TEST_F(scheduled, uninstall_of_a_needed_package_is_refused) {
    given_installed(package_spec{.name = "other", .version = version(1, 0)});
    schedule("lib", "uninstall");
    const sandbox::result r = next_run();
    EXPECT_TRUE(shows(r, "WARNING: can not uninstall lib-1.0: app depends on it")) << r.out;
    EXPECT_TRUE(exists("/var/pdb/lib/version"));
}

TEST_F(scheduled, a_package_whose_supplier_vanished_is_uninstalled_quietly) {
    given_installed(package_spec{.name = "other", .version = version(1, 0)});
    std::filesystem::remove_all(path("/var/pdb/lib"));
    const sandbox::result r = next_run();
    EXPECT_FALSE(exists("/var/pdb/app"));
    EXPECT_FALSE(exists("/opt/bin/app"));
    EXPECT_TRUE(exists("/var/pdb/other"));
    EXPECT_TRUE(console_lines(r.out).empty()) << r.out;
}

TEST_F(scheduled, nothing_happens_when_every_package_would_go) {
    schedule("lib", "disable");
    schedule("app", "disable");
    const sandbox::result r = next_run();
    EXPECT_TRUE(shows(r, "ERROR: can not uninstall or disable all packages")) << r.out;
    EXPECT_EQ(read("/opt/bin/app"), "a");
}

}  // namespace
}  // namespace installer_test
