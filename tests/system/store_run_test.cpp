// A run without a package installs what waits in the package store.

#include <algorithm>
#include <random>

#include "tests/system/fixture.h"

namespace system_test {
namespace {

using installer_store_run = installer_test;

package_spec simple(const std::string& name, std::uint32_t number = version(1, 0),
                    const std::vector<relation_spec>& depends = {}) {
    package_spec spec{.name = name, .version = number, .depends = depends};
    spec.files.push_back(
        regular("/opt/" + name + "/file", name + " " + version_text(number) + "\n"));
    return spec;
}

std::set<std::string> listing(const std::string& dir) {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec))
        names.insert(e.path().filename().string());
    return names;
}

std::string random_bytes(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(generator());
    return bytes;
}

TEST_F(installer_store_run, keeps_one_version_orders_by_dependency_and_keeps_the_old_log) {
    write("/var/pckg/b.dpk",
          slurp(shop_.package(simple("b", version(1, 0), {{"a", version(2, 0)}}))));
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
    const std::string warning =
        "WARNING: omitting package a-1.0: newer package is already provided\n";
    ASSERT_GE(before.size(), warning.size()) << log;
    EXPECT_EQ(before.substr(before.size() - warning.size()), warning);
    EXPECT_TRUE(shows(r, "WARNING: omitting package a-1.0: newer package is already provided"))
        << r.out;
    EXPECT_EQ(read("/var/pdb/a/version"), std::to_string(version(2, 0)) + " 0\n");
    EXPECT_TRUE(exists("/var/pdb/b"));
    const std::string broken = before.substr(0, before.size() - warning.size());
    EXPECT_TRUE(broken == "ERROR: broken package junk.vsk\nERROR: broken package cut.vsk\n" ||
                broken == "ERROR: broken package cut.vsk\nERROR: broken package junk.vsk\n")
        << log;
    EXPECT_EQ(
        listing(box().path("/var/pckg")),
        (std::set<std::string>{"a-1.vsk", "junk.vsk", "notes.txt", ".hidden.vsk", "cut.vsk"}));
    EXPECT_EQ(listing(box().path("/ram")), std::set<std::string>{});
    EXPECT_EQ(read("/opt/a/file"), "a 2.0\n");
    EXPECT_FALSE(exists("/opt/h/file"));
}

// A chain of packages, each needing the one before it, goes in with one run
// whatever order the store lists it in; so does its upgrade.
TEST_F(installer_store_run, installs_and_upgrades_a_chain_in_one_run_from_any_order) {
    const int length = 30;
    std::mt19937 generator(12);
    for (const unsigned major : {1u, 2u}) {
        const std::uint32_t number = version(major, 0);
        const std::string text = version_text(number);
        std::vector<int> numbers(length);
        for (int i = 0; i < length; ++i) numbers[i] = i;
        std::shuffle(numbers.begin(), numbers.end(), generator);
        for (int i : numbers) {
            const std::string name = "c" + std::to_string(i);
            std::vector<relation_spec> depends;
            if (i > 0) depends.push_back({.name = "c" + std::to_string(i - 1)});
            // Random file names give a directory order unrelated to the chain.
            write("/var/pckg/" + std::to_string(generator() % 100000) + "-" + name + ".vsk",
                  slurp(shop_.package(simple(name, number, depends))));
        }
        sandbox::result r = run({});
        EXPECT_EQ(r.status, 0) << text;
        std::string expected;
        for (int i = 0; i < length; ++i) {
            expected += "installed c" + std::to_string(i) + "-" + text + "\n";
        }
        const std::string log = read("/postlog");
        EXPECT_NE(log.find(expected), std::string::npos) << log;
        EXPECT_EQ(log.find("ERROR"), std::string::npos) << log;
        EXPECT_EQ(listing(box().path("/var/pckg")), std::set<std::string>{}) << text;
        EXPECT_EQ(read("/opt/c29/file"), "c29 " + text + "\n");
    }
}

// The same package copied twice into the store is installed once; the copy
// that was passed over stays for the next run to find it installed.
TEST_F(installer_store_run, installs_a_package_copied_twice_once) {
    const std::string a = slurp(shop_.package(simple("a")));
    write("/var/pckg/a.vsk", a);
    write("/var/pckg/a-copy.vsk", a);
    sandbox::result r = run({});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("/postlog"), "installed a-1.0\n");
    EXPECT_EQ(read("/opt/a/file"), "a 1.0\n");
    EXPECT_EQ(listing(box().path("/var/pckg")).size(), 1u);
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
    EXPECT_TRUE(shows(r, "WARNING: omitting package a-2.0: older package is already provided"))
        << r.out;
    EXPECT_EQ(read("/var/pdb/a/version"), std::to_string(version(1, 0)) + " 0\n");
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
              std::string::npos)
        << log;
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
    // b was installed already: reported as installed all the same.
    EXPECT_TRUE(shows(r, "installed b-1.0")) << r.out;
    EXPECT_TRUE(exists("/var/pdb/a"));
    EXPECT_EQ(listing(box().path("/ram")), std::set<std::string>{});
    EXPECT_EQ(listing(box().path("/var/pckg")), std::set<std::string>{});
    EXPECT_EQ(read("/opt/a/file"), "a 1.0\n");
}

// Names that cannot be database entries are broken packages in the store as
// well, and are left where they are.
TEST_F(installer_store_run, unusable_names_are_broken_packages) {
    using namespace fixture;
    const std::string archive =
        part_bytes(part_files, zlib_bytes(entry_bytes(0x81a4, "/opt/evil", "evil\n")));
    write("/var/pckg/dots.vsk",
          container_bytes(
              part_bytes(part_package, header_record_bytes("..", version_number(1, 0), 0)) +
              archive));
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
    struct empty_case {
        const char* label;
        std::string request;  // scheduled for the only package; "" for none
        std::string postlog;
    };
    const std::vector<empty_case> cases = {
        {"nothing asked", "", ""},
        {"a request the run refuses", "disable",
         "ERROR: can not uninstall or disable all packages\n"},
    };
    const std::string keep = shop_.package(simple("keep"));
    for (const empty_case& c : cases) {
        SCOPED_TRACE(c.label);
        box_ = std::make_unique<sandbox::scratch_root>(TARNVALE_BIN_DIR, fs_bytes_);
        ASSERT_TRUE(box_->ready()) << box_->failure();
        write("/vesk/lib/install/profile.sh", "MARKS=/tmp/marks\n");
        ASSERT_EQ(install(keep).status, 0);
        write("/postlog", "old\n");
        if (!c.request.empty()) schedule("keep", c.request);
        sandbox::result r = run({});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(read("/postlog"), c.postlog);
    }
}

// Every file the run cannot use stays where it is: a damaged one, an unsafe
// name, a package that fails its checks and what is no package at all.
TEST_F(installer_store_run, broken_and_failed_files_stay_in_the_store) {
    given_installed(package_spec{.name = "base", .version = version(1, 0)});
    write("/var/pckg/damaged.vsk", "not a package at all");
    write("/var/pckg/unsafe.dpk",
          slurp(package(package_spec{.name = "..", .version = version(1, 0)})));
    write("/var/pckg/needy.vsk",
          slurp(shop_.package(simple("needy", version(1, 0), {{"absent"}}))));
    write("/var/pckg/notes.txt", "ignored");
    std::filesystem::create_directories(box().path("/ram"));
    const sandbox::result r = run({});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(shows(r, "ERROR: broken package damaged.vsk")) << r.out;
    EXPECT_TRUE(shows(r, "ERROR: broken package unsafe.dpk"));
    EXPECT_TRUE(exists("/var/pckg/damaged.vsk"));
    EXPECT_TRUE(exists("/var/pckg/unsafe.dpk"));
    EXPECT_TRUE(exists("/var/pckg/needy.vsk"));
    EXPECT_FALSE(exists("/ram/needy.vsk"));
    EXPECT_TRUE(exists("/var/pckg/notes.txt"));
}

}  // namespace
}  // namespace system_test
