// The package database as a run finds it: entries written by hand or by
// older runs, broken metadata, schedule requests and bundle members.

#include "tests/system/fixture.h"

namespace system_test {
namespace {

class database : public installer_test {
protected:
    // An entry written by hand, as an older run (or another tool) left it.
    void entry(const std::string& name, const std::string& version_text, const std::string& files,
               const std::string& deps = "") {
        write("/var/pdb/" + name + "/version", version_text);
        write("/var/pdb/" + name + "/files", files);
        if (!deps.empty()) write("/var/pdb/" + name + "/deps", deps);
    }
    // A run that installs a package, so that loading and the scheduled
    // actions happen and the result shows in the database.
    sandbox::result some_run() {
        return install(package(package_spec{.name = "probe", .version = version(1, 0)}));
    }
};

TEST_F(database, file_lists_without_leading_slash_load_as_absolute_paths) {
    entry("a", "1 0\n", "opt/a\n/opt/b\n\nopt/c");
    write("/opt/a", "a");
    write("/opt/b", "b");
    write("/opt/c", "c");
    write("/var/pdb/a/schedule", "uninstall");
    entry("keeper", "1 0\n", "");
    const sandbox::result r = some_run();
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(exists("/opt/a"));
    EXPECT_FALSE(exists("/opt/b"));
    EXPECT_FALSE(exists("/opt/c"));
    EXPECT_FALSE(exists("/var/pdb/a"));
}

TEST_F(database, broken_metadata_is_uninstalled_quietly) {
    const std::string cases[][2] = {
        {"noversion", ""},
        {"badnumber", "1 x\n"},
        {"shortprovides", "1 0\n"},
    };
    for (const auto& c : cases) {
        if (!c[1].empty()) write("/var/pdb/" + c[0] + "/version", c[1]);
        write("/var/pdb/" + c[0] + "/files", "opt/" + c[0] + "\n");
        write("/opt/" + c[0], "x");
    }
    // A provides line with three fields takes the next name for its priority.
    write("/var/pdb/shortprovides/provides", "p 0 0\nq 0 0 1\n");
    entry("keeper", "1 0\n", "");
    const sandbox::result r = some_run();
    EXPECT_EQ(console_lines(r.out), std::vector<std::string>{"installed probe-1.0"});
    for (const auto& c : cases) {
        EXPECT_FALSE(exists("/var/pdb/" + c[0])) << c[0];
        EXPECT_FALSE(exists("/opt/" + c[0])) << c[0];
    }
    EXPECT_TRUE(exists("/var/pdb/keeper"));
}

TEST_F(database, a_schedule_request_is_consumed_by_the_next_run) {
    entry("a", "1 0\n", "");
    write("/var/pdb/a/schedule", "bogus");
    entry("b", "1 0\n", "");
    write("/var/pdb/b/schedule", "enable");
    some_run();
    EXPECT_FALSE(exists("/var/pdb/a/schedule"));
    EXPECT_FALSE(exists("/var/pdb/b/schedule"));
    EXPECT_TRUE(exists("/var/pdb/a/version"));
}

TEST_F(database, a_dependency_of_two_zeros_accepts_any_version) {
    entry("lib", "7 0\n", "");
    entry("user", "1 0\n", "", "lib 0 0\n");
    some_run();
    EXPECT_TRUE(exists("/var/pdb/user"));
}

TEST_F(database, hidden_entries_are_never_loaded) {
    write("/var/pdb/.hidden/schedule", "uninstall");
    write("/var/pdb/.hidden/version", "1 0\n");
    some_run();
    EXPECT_TRUE(exists("/var/pdb/.hidden/schedule"));
}

TEST_F(database, a_missing_database_is_warned_about) {
    std::filesystem::remove_all(path("/var/pdb"));
    const sandbox::result r = run({"--filegc", "/nothing"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(shows(r, "WARNING: could not open repo")) << r.out;
}

TEST_F(database, metadata_of_a_bundle_member_names_its_bundle) {
    builder::bundle_spec b{.name = "suite", .version = version(3, 0)};
    package_spec m{.name = "m", .version = version(1, 0)};
    m.conflicts = {{"enemy", version(1, 0), version(2, 0)}};
    m.files = {regular("/m", "m")};
    b.members = {m};
    const sandbox::result r = install(bundle(b));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(read("/var/pdb/m/bundle"), "suite\n");
    EXPECT_EQ(read("/var/pdb/m/conflicts"), "enemy " + std::to_string(version(1, 0)) + " " +
                                                std::to_string(version(2, 0)) + "\n");
    EXPECT_FALSE(exists("/var/pdb/suite/files"));
    EXPECT_EQ(read("/var/pdb/suite/deps"), "");
}

}  // namespace
}  // namespace system_test
