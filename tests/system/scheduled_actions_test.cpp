// What a run does before anything else: the uninstall, enable and disable
// requests that the rest of the system left in the database, with their
// adjustments; second names for files in use; and "--filegc".

#include <sys/stat.h>
#include <unistd.h>

#include "tests/system/fixture.h"

namespace system_test {
namespace {

using installer_schedule = installer_test;

package_spec plain(const std::string& name, const std::vector<relation_spec>& depends = {}) {
    package_spec spec{.name = name, .version = version(1, 0), .depends = depends};
    spec.files.push_back(regular("/opt/" + name + "/file", name + "\n"));
    spec.onuninstall = "echo " + name + "-off >> $MARKS\n";
    spec.oninstall = "echo " + name + "-on >> $MARKS\n";
    return spec;
}

// "enabled", "disabled" or "gone", judged by the entry and the file.
std::string state_of(installer_test& t, const std::string& name) {
    if (!t.exists("/var/pdb/" + name))
        return t.exists("/opt/" + name + "/file") ? "gone, file left" : "gone";
    if (t.exists("/var/pdb/" + name + "/disabled")) {
        return t.exists("/x/" + name + "/opt/" + name + "/file") ? "disabled"
                                                                 : "disabled, file astray";
    }
    return t.exists("/opt/" + name + "/file") ? "enabled" : "enabled, file astray";
}

struct schedule_case {
    const char* label;
    std::map<std::string, std::string> requests;        // name -> schedule word
    std::map<std::string, std::string> database_edits;  // file -> new contents
    std::string postlog;
    std::map<std::string, std::string> states;  // name -> state afterwards
    std::string marks;                          // scripts that ran
};

// a; b needs a; c stands alone.
TEST_F(installer_schedule, requests_are_adjusted_and_carried_out) {
    const std::vector<schedule_case> cases = {
        {"disable a needed package",
         {{"a", "disable"}},
         {},
         "WARNING: can not disable a-1.0: b depends on it\n",
         {{"a", "enabled"}, {"b", "enabled"}, {"c", "enabled"}},
         ""},
        {"uninstall a needed package",
         {{"a", "uninstall"}},
         {},
         "WARNING: can not uninstall a-1.0: b depends on it\n",
         {{"a", "enabled"}, {"b", "enabled"}, {"c", "enabled"}},
         ""},
        {"disable the dependent first",
         {{"a", "disable"}, {"b", "disable"}},
         {},
         "disabled b-1.0\ndisabled a-1.0\n",
         {{"a", "disabled"}, {"b", "disabled"}, {"c", "enabled"}},
         "b-off\na-off\n"},
        {"uninstall quietly",
         {{"c", "uninstall"}},
         {},
         "",
         {{"a", "enabled"}, {"b", "enabled"}, {"c", "gone"}},
         "c-off\n"},
        {"not everything",
         {{"a", "disable"}, {"b", "uninstall"}, {"c", "disable"}},
         {},
         "ERROR: can not uninstall or disable all packages\n",
         {{"a", "enabled"}, {"b", "enabled"}, {"c", "enabled"}},
         ""},
        {"unknown word",
         {{"c", "remove"}},
         {},
         "",
         {{"a", "enabled"}, {"b", "enabled"}, {"c", "enabled"}},
         ""},
        {"entry without a version",
         {},
         {{"/var/pdb/c/version", "garbage"}},
         "",
         {{"a", "enabled"}, {"b", "enabled"}, {"c", "gone"}},
         "c-off\n"},
        {"dependency on nothing installed",
         {},
         {{"/var/pdb/c/deps", "zzz 0 0\n"}},
         "",
         {{"a", "enabled"}, {"b", "enabled"}, {"c", "gone"}},
         "c-off\n"},
        {"a schedule overrides broken metadata",
         {{"c", "disable"}},
         {{"/var/pdb/c/deps", "zzz x 0\n"}},
         "disabled c-1.0\n",
         {{"a", "enabled"}, {"b", "enabled"}, {"c", "disabled"}},
         "c-off\n"},
    };
    const std::string a = shop_.package(plain("a"));
    const std::string b = shop_.package(plain("b", {{"a"}}));
    const std::string c = shop_.package(plain("c"));
    for (const schedule_case& k : cases) {
        SCOPED_TRACE(k.label);
        box_ = std::make_unique<sandbox::scratch_root>(TARNVALE_BIN_DIR, fs_bytes_);
        ASSERT_TRUE(box_->ready());
        for (const std::string& p : {a, b, c}) ASSERT_EQ(install(p).status, 0);
        write("/vesk/lib/install/profile.sh", "MARKS=/tmp/marks\n");
        for (const auto& [name, word] : k.requests) schedule(name, word);
        for (const auto& [file, text] : k.database_edits) write(file, text);
        sandbox::result r = run({});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(read("/postlog"), k.postlog);
        for (const auto& [name, state] : k.states) EXPECT_EQ(state_of(*this, name), state) << name;
        EXPECT_EQ(read("/tmp/marks"), k.marks);
        for (const auto& [name, word] : k.requests) {
            EXPECT_FALSE(exists("/var/pdb/" + name + "/schedule")) << name;
        }
    }
}

TEST_F(installer_schedule,
       disabling_moves_files_below_x_and_enabling_brings_back_the_dependency_first) {
    ASSERT_EQ(install(shop_.package(plain("a"))).status, 0);
    ASSERT_EQ(install(shop_.package(plain("b", {{"a"}}))).status, 0);
    ASSERT_EQ(install(shop_.package(plain("c"))).status, 0);
    schedule("a", "disable");
    schedule("b", "disable");
    ASSERT_EQ(run({}).status, 0);
    EXPECT_EQ(read("/var/pdb/a/files"), "x/a/opt/a/file\n");
    EXPECT_EQ(read("/x/a/opt/a/file"), "a\n");
    EXPECT_FALSE(exists("/opt/a/file"));
    schedule("b", "enable");
    sandbox::result r = run({});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("/postlog"), "enabled a-1.0\nenabled b-1.0\n");
    EXPECT_EQ(read("/var/pdb/a/files"), "opt/a/file\n");
    EXPECT_EQ(read("/opt/b/file"), "b\n");
    EXPECT_FALSE(exists("/var/pdb/a/disabled"));
    EXPECT_FALSE(exists("/x"));
    EXPECT_EQ(read("/tmp/marks"), "a-on\nb-on\nc-on\nb-off\na-off\na-on\nb-on\n");
}

TEST_F(installer_schedule, enabling_a_package_settles_its_conflicts) {
    package_spec x = plain("x");
    x.conflicts = {{"y"}};
    ASSERT_EQ(install(shop_.package(plain("keep"))).status, 0);
    ASSERT_EQ(install(shop_.package(x)).status, 0);
    ASSERT_EQ(install(shop_.package(plain("y"))).status, 0);
    ASSERT_EQ(state_of(*this, "y"), "disabled");
    // Enabling y disables x, which conflicts with it.
    schedule("y", "enable");
    sandbox::result r = run({});
    EXPECT_EQ(read("/postlog"), "disabled x-1.0\nenabled y-1.0\n");
    EXPECT_EQ(state_of(*this, "x"), "disabled");
    EXPECT_EQ(state_of(*this, "y"), "enabled");
    // Both asked for: the one x conflicts with stays disabled.
    schedule("x", "enable");
    schedule("y", "disable");
    ASSERT_EQ(run({}).status, 0);
    ASSERT_EQ(state_of(*this, "y"), "disabled");
    schedule("x", "disable");
    ASSERT_EQ(run({}).status, 0);
    ASSERT_EQ(state_of(*this, "x"), "disabled");
    schedule("x", "enable");
    schedule("y", "enable");
    r = run({});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("/postlog"),
              "WARNING: can not enable y: x-1.0 conflicts with it\nenabled x-1.0\n");
    EXPECT_EQ(state_of(*this, "x"), "enabled");
    EXPECT_EQ(state_of(*this, "y"), "disabled");
}

// A process that still uses a file keeps it under a second name in /tmp
// when the package goes away: one file held open, one only mapped.
TEST_F(installer_schedule, files_in_use_get_a_second_name) {
    package_spec lib{.version = version(1, 0)};
    lib.name = "lib";
    lib.files.push_back(regular("/opt/bin/tool", std::string(5000, 't')));
    lib.files.push_back(regular("/opt/lib/libfoo.so", std::string(9000, 'l')));
    ASSERT_EQ(install(shop_.package(lib)).status, 0);
    ASSERT_EQ(install(shop_.package(plain("keep"))).status, 0);
    write("/tmp/inst1", "taken\n");
    ASSERT_GT(box().hold("/opt/bin/tool", false), 0) << box().failure();
    ASSERT_GT(box().hold("/opt/lib/libfoo.so", true), 0) << box().failure();
    schedule("lib", "uninstall");
    sandbox::result r = run({});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("/postlog"), "");
    EXPECT_FALSE(exists("/opt/bin/tool"));
    EXPECT_FALSE(exists("/opt/lib/libfoo.so"));
    EXPECT_EQ(read("/tmp/inst1"), "taken\n");
    EXPECT_EQ(read("/tmp/inst2"), std::string(5000, 't'));
    EXPECT_EQ(read("/tmp/inst3"), std::string(9000, 'l'));
    EXPECT_FALSE(exists("/tmp/inst4"));
}

TEST_F(installer_schedule, filegc_deletes_what_no_package_owns_and_nothing_else) {
    package_spec x = plain("x");
    x.conflicts = {{"y"}};
    ASSERT_EQ(install(shop_.package(plain("a"))).status, 0);
    ASSERT_EQ(install(shop_.package(x)).status, 0);
    ASSERT_EQ(install(shop_.package(plain("y"))).status, 0);
    ASSERT_EQ(state_of(*this, "y"), "disabled");
    write("/opt/junk", "junk\n");
    write("/opt/sub/deeper/junk", "junk\n");
    ASSERT_EQ(mkdir(box().path("/opt/empty").c_str(), 0755), 0);
    ASSERT_EQ(symlink("a/file", box().path("/opt/link").c_str()), 0);
    ASSERT_EQ(mkfifo(box().path("/opt/sub/fifo").c_str(), 0644), 0);
    write("/x/y/stray", "junk\n");
    write("/etc/outside", "kept\n");
    // No scheduled action runs in this mode.
    schedule("a", "uninstall");
    ASSERT_EQ(unlink(box().path("/postlog").c_str()), 0);
    sandbox::result r = run({"--filegc", "/opt", "/x"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(exists("/postlog"));
    for (const char* kept : {"/opt/a/file", "/opt/x/file", "/x/y/opt/y/file", "/opt/empty",
                             "/opt/sub/deeper", "/etc/outside", "/var/pdb/a/version"}) {
        EXPECT_TRUE(exists(kept)) << kept;
    }
    for (const char* gone :
         {"/opt/junk", "/opt/sub/deeper/junk", "/opt/link", "/opt/sub/fifo", "/x/y/stray"}) {
        EXPECT_FALSE(exists(gone)) << gone;
    }
}

// Requests left in "schedule" files, carried out at the start of a run.
class scheduled : public installer_test {
protected:
    void SetUp() override {
        installer_test::SetUp();
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
}  // namespace system_test
