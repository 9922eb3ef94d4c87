#include <gtest/gtest.h>

#include <string>

#include "tests/installer/scratch_fixture.h"

namespace installer_test {
namespace {

using builder::package_spec;
using builder::regular;
using builder::version;

class store_run : public scratch_test {
protected:
    void SetUp() override {
        scratch_test::SetUp();
        if (IsSkipped()) return;
        std::filesystem::create_directories(path("/var/pckg"));
        std::filesystem::create_directories(path("/ram"));
    }
    void stored(const std::string& file, const package_spec& p, const std::string& dir = "/var/pckg/") {
        ASSERT_TRUE(builder::write_package(path(dir + file), p));
    }
    static package_spec plain(const std::string& name, std::uint32_t v) {
        package_spec p{.name = name, .version = v};
        p.files = {regular("/" + name + "-" + std::to_string(v >> 16 & 0xff), name)};
        return p;
    }
    sandbox::result store(std::vector<std::string> args = {}, int timeout_ms = 30000) {
        return run(args, timeout_ms);
    }
};

TEST_F(store_run, installs_the_newest_in_dependency_order_and_keeps_the_rest) {
    package_spec app = plain("app", version(1, 0));
    app.depends = {{"lib", 0, 0}};
    stored("a-app.vsk", app);
    stored("b-lib-old.vsk", plain("lib", version(1, 0)));
    stored("c-lib-new.vsk", plain("lib", version(1, 1)));
    write("/postlog", "earlier line\ncut");
    const sandbox::result r = store();
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(shows(r, "WARNING: omitting package lib-1.0: newer package is already provided"))
        << r.out;
    EXPECT_TRUE(exists("/var/pdb/app"));
    EXPECT_EQ(read("/var/pdb/lib/version"), std::to_string(version(1, 1)) + " 0\n");
    EXPECT_FALSE(exists("/var/pckg/a-app.vsk"));
    EXPECT_FALSE(exists("/var/pckg/c-lib-new.vsk"));
    EXPECT_TRUE(exists("/var/pckg/b-lib-old.vsk"));
    EXPECT_FALSE(exists("/ram/a-app.vsk"));
    const std::string log = read("/postlog");
    // The log is loaded just before the first install: what the scan said
    // comes first, then the complete lines of the last log, then the rest.
    EXPECT_EQ(log, "WARNING: omitting package lib-1.0: newer package is already provided\n"
                   "earlier line\ninstalled lib-1.1\ninstalled app-1.0\n");
}

TEST_F(store_run, the_downgrade_marker_picks_the_oldest_once) {
    stored("lib-old.vsk", plain("lib", version(1, 0)));
    stored("lib-new.vsk", plain("lib", version(1, 1)));
    write("/DOWNGRADE", "");
    const sandbox::result r = store();
    EXPECT_TRUE(shows(r, "WARNING: omitting package lib-1.1: older package is already provided"))
        << r.out;
    EXPECT_EQ(read("/var/pdb/lib/version"), std::to_string(version(1, 0)) + " 0\n");
    EXPECT_FALSE(exists("/DOWNGRADE"));
    EXPECT_TRUE(exists("/var/pckg/lib-new.vsk"));
}

TEST_F(store_run, broken_and_failed_files_stay_in_the_store) {
    given_installed(package_spec{.name = "base", .version = version(1, 0)});
    write("/var/pckg/damaged.vsk", "not a package at all");
    stored("unsafe.dpk", package_spec{.name = "..", .version = version(1, 0)});
    package_spec needy = plain("needy", version(1, 0));
    needy.depends = {{"absent", 0, 0}};
    stored("needy.vsk", needy);
    write("/var/pckg/notes.txt", "ignored");
    const sandbox::result r = store();
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(shows(r, "ERROR: broken package damaged.vsk")) << r.out;
    EXPECT_TRUE(shows(r, "ERROR: broken package unsafe.dpk"));
    EXPECT_TRUE(exists("/var/pckg/damaged.vsk"));
    EXPECT_TRUE(exists("/var/pckg/unsafe.dpk"));
    EXPECT_TRUE(exists("/var/pckg/needy.vsk"));
    EXPECT_FALSE(exists("/ram/needy.vsk"));
    EXPECT_TRUE(exists("/var/pckg/notes.txt"));
}

TEST_F(store_run, recovery_installs_from_ram_and_reports_the_installed_version) {
    given_installed(plain("done", version(1, 0)));
    stored("done.vsk", plain("done", version(1, 0)), "/ram/");
    stored("left.vsk", plain("left", version(1, 0)), "/ram/");
    const sandbox::result r = store({"--recover"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("\x1b[?25l\r\x1b[Ainstalling", 0), 0u);
    EXPECT_TRUE(shows(r, "installed done-1.0")) << r.out;
    EXPECT_TRUE(exists("/var/pdb/left"));
    EXPECT_FALSE(exists("/ram/done.vsk"));
    EXPECT_FALSE(exists("/ram/left.vsk"));
}

TEST_F(store_run, without_any_installed_package_it_stops_for_good_without_spinning) {
    package_spec needy = plain("needy", version(1, 0));
    needy.depends = {{"absent", 0, 0}};
    stored("needy.vsk", needy);
    const sandbox::result r = store({"-q"}, 1500);
    EXPECT_TRUE(r.timed_out);
    EXPECT_EQ(r.state, 'S');
    EXPECT_LT(r.cpu_seconds, 0.5);
    const std::string fatal = "\nERROR: router installation failed!!!\nPlease, reinstall.\n";
    ASSERT_GE(r.out.size(), fatal.size());
    EXPECT_EQ(r.out.substr(r.out.size() - fatal.size()), fatal);
}

TEST_F(store_run, an_empty_store_leaves_the_log_to_this_run) {
    given_installed(package_spec{.name = "base", .version = version(1, 0)});
    write("/postlog", "old\n");
    const sandbox::result r = store();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("/postlog"), "");
}

}  // namespace
}  // namespace installer_test
