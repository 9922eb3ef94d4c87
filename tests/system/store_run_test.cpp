// A run without a package installs what waits in the package store.

#include <random>

#include "tests/system/fixture.h"

namespace system_test {
namespace {

using installer_store_run = installer_test;

package_spec simple(const std::string& name, std::uint32_t number = version(1, 0),
                    const std::vector<relation_spec>& depends = {}) {
    package_spec spec{.name = name, .version = number, .depends = depends};
    spec.files.push_back(regular("/opt/" + name + "/file", name + " " + version_text(number) + "\n"));
    return spec;
}

std::set<std::string> listing(const std::string& dir) {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) names.insert(e.path().filename().string());
    return names;
}

std::string random_bytes(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(generator());
    return bytes;
}

TEST_F(installer_store_run, keeps_one_version_orders_by_dependency_and_keeps_the_old_log) {
    write("/var/pckg/b.dpk", slurp(shop_.package(simple("b", version(1, 0), {{"a", version(2, 0)}}))));
    write("/var/pckg/a-1.vsk", slurp(shop_.package(simple("a", version(1, 0)))));
    write("/var/pckg/a-2.vsk", slurp(shop_.package(simple("a", version(2, 0)))));
    write("/var/pckg/junk.vsk", "not a package at all");
    write("/var/pckg/notes.txt", "not a package name");
    write("/var/pckg/.hidden.vsk", slurp(shop_.package(simple("h"))));
    const std::string whole = slurp(shop_.package(simple("cut")));
    write("/var/pckg/cut.vsk", whole.substr(0, whole.size() - 1));
    std::filesystem::create_directories(box().path("/ram"));
    write("/postlog", "earlier line\ncut short");

    sandbox::result r = run({});
    EXPECT_EQ(r.status, 0);
    // The lines of the previous log join this run's messages when the
    // installs begin: after the scan's and the ordering's messages.
    const std::string log = read("/postlog");
    const std::size_t earlier = log.find("earlier line\n");
    ASSERT_NE(earlier, std::string::npos) << log;
    EXPECT_EQ(log.substr(earlier), "earlier line\ninstalled a-2.0\ninstalled b-1.0\n");
    const std::string before = log.substr(0, earlier);
    const std::string warning = "WARNING: omitting package a-1.0: newer package is already provided\n";
    ASSERT_GE(before.size(), warning.size()) << log;
    EXPECT_EQ(before.substr(before.size() - warning.size()), warning);
    const std::string broken = before.substr(0, before.size() - warning.size());
    EXPECT_TRUE(broken == "ERROR: broken package junk.vsk\nERROR: broken package cut.vsk\n" ||
                broken == "ERROR: broken package cut.vsk\nERROR: broken package junk.vsk\n") << log;
    EXPECT_EQ(listing(box().path("/var/pckg")),
              (std::set<std::string>{"a-1.vsk", "junk.vsk", "notes.txt", ".hidden.vsk", "cut.vsk"}));
    EXPECT_EQ(listing(box().path("/ram")), std::set<std::string>{});
    EXPECT_EQ(read("/opt/a/file"), "a 2.0\n");
    EXPECT_FALSE(exists("/opt/h/file"));
}

TEST_F(installer_store_run, downgrade_marker_installs_the_oldest_once) {
    ASSERT_EQ(install(shop_.package(simple("a", version(3, 0)))).status, 0);
    write("/var/pckg/a-1.vsk", slurp(shop_.package(simple("a", version(1, 0)))));
    write("/var/pckg/a-2.vsk", slurp(shop_.package(simple("a", version(2, 0)))));
    write("/DOWNGRADE", "");
    sandbox::result r = run({});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("/postlog"),
              "WARNING: omitting package a-2.0: older package is already provided\n"
              "installed a-3.0\n"
              "installed a-1.0\n");
    EXPECT_FALSE(exists("/DOWNGRADE"));
    EXPECT_EQ(read("/opt/a/file"), "a 1.0\n");
    EXPECT_EQ(listing(box().path("/var/pckg")), std::set<std::string>{"a-2.vsk"});
}

// Files below the RAM budget are installed from /ram; a failed one goes back
// to the store.
TEST_F(installer_store_run, ram_budget_and_failed_files_moved_back) {
    ASSERT_EQ(install(shop_.package(simple("keep"))).status, 0);
    package_spec four = simple("four");
    four.files.push_back(regular("/opt/four/data", random_bytes(4u << 20, 4)));
    four.oninstall = "ls /ram > /tmp/ram-four; ls /var/pckg > /tmp/store-four\n";
    package_spec seven = simple("seven", version(1, 0), {{"four"}});
    seven.files.push_back(regular("/opt/seven/data", random_bytes(7u << 20, 7)));
    const std::string failing = slurp(shop_.package(simple("fails", version(1, 0), {{"zzz"}})));
    write("/var/pckg/seven.vsk", slurp(shop_.package(seven)));
    write("/var/pckg/four.vsk", slurp(shop_.package(four)));
    write("/var/pckg/fails.vsk", failing);
    std::filesystem::create_directories(box().path("/ram"));

    sandbox::result r = run({});
    EXPECT_EQ(r.status, 0);
    const std::string log = read("/postlog");
    EXPECT_NE(log.find("ERROR: can not install fails-1.0: zzz is not installed, but is required\n"),
              std::string::npos) << log;
    EXPECT_NE(log.find("installed four-1.0\ninstalled seven-1.0\n"), std::string::npos) << log;
    const std::string in_ram = read("/tmp/ram-four");
    EXPECT_NE(in_ram.find("four.vsk\n"), std::string::npos) << in_ram;
    EXPECT_EQ(in_ram.find("seven.vsk"), std::string::npos) << in_ram;
    EXPECT_NE(read("/tmp/store-four").find("seven.vsk\n"), std::string::npos);
    EXPECT_EQ(listing(box().path("/var/pckg")), std::set<std::string>{"fails.vsk"});
    EXPECT_EQ(read("/var/pckg/fails.vsk"), failing);
    EXPECT_EQ(listing(box().path("/ram")), std::set<std::string>{});
    EXPECT_EQ(read("/opt/seven/data").size(), 7u << 20);
}

TEST_F(installer_store_run, recover_installs_what_an_interrupted_run_left_in_ram) {
    const std::string b = shop_.package(simple("b"));
    ASSERT_EQ(install(b).status, 0);
    write("/ram/a.vsk", slurp(shop_.package(simple("a"))));
    write("/ram/b.vsk", slurp(b));
    write("/var/pckg/c.vsk", slurp(shop_.package(simple("c"))));
    sandbox::result r = run({"--recover"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("\x1b[?25l\r\x1b[Ainstalling", 0), 0u);
    const std::string log = read("/postlog");
    for (const char* line : {"installed a-1.0\n", "installed b-1.0\n", "installed c-1.0\n"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line << log;
    }
    EXPECT_EQ(listing(box().path("/ram")), std::set<std::string>{});
    EXPECT_EQ(listing(box().path("/var/pckg")), std::set<std::string>{});
    EXPECT_EQ(read("/opt/a/file"), "a 1.0\n");
}

// Names that cannot be database entries are broken packages in the store as
// well, and are left where they are.
TEST_F(installer_store_run, unusable_names_are_broken_packages) {
    using namespace fixture;
    const std::string archive = part_bytes(part_files, zlib_bytes(entry_bytes(0x81a4, "/opt/evil", "evil\n")));
    write("/var/pckg/dots.vsk",
          container_bytes(part_bytes(part_package, header_record_bytes("..", version_number(1, 0), 0)) + archive));
    write("/var/pckg/ok.vsk", slurp(shop_.package(simple("ok"))));
    sandbox::result r = run({});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("/postlog"), "ERROR: broken package dots.vsk\ninstalled ok-1.0\n");
    EXPECT_FALSE(exists("/opt/evil"));
    EXPECT_EQ(entries(), std::set<std::string>{"ok"});
    EXPECT_TRUE(exists("/var/pckg/dots.vsk"));
}

// Nothing installed at the end: the two fatal lines even with "-q", and the
// process stays, asleep, until someone reinstalls the device.
TEST_F(installer_store_run, nothing_installed_stops_for_good_without_spinning) {
    const std::string needs = slurp(shop_.package(simple("needs", version(1, 0), {{"zzz"}})));
    write("/var/pckg/needs.vsk", needs);
    std::filesystem::create_directories(box().path("/ram"));
    sandbox::result r = run({"-q"}, 2500);
    EXPECT_TRUE(r.timed_out);
    EXPECT_EQ(r.out, "\nERROR: router installation failed!!!\nPlease, reinstall.\n");
    EXPECT_EQ(r.state, 'S');
    EXPECT_LT(r.cpu_seconds, 0.5);
    EXPECT_EQ(read("/var/pckg/needs.vsk"), needs);
    EXPECT_EQ(read("/postlog"), std::string(4096, '\0'));
}

TEST_F(installer_store_run, empty_store_writes_only_this_runs_messages) {
    ASSERT_EQ(install(shop_.package(simple("keep"))).status, 0);
    write("/postlog", "old\n");
    schedule("keep", "disable");
    sandbox::result r = run({});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("/postlog"), "ERROR: can not uninstall or disable all packages\n");
}

class store_run : public installer_test {
protected:
    void SetUp() override {
        installer_test::SetUp();
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
}  // namespace system_test
