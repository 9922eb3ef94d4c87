#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "base/out_stream.h"
#include "installer/install.h"
#include "installer/run_flags.h"
#include "tests/installer/scratch_fixture.h"
#include "tests/support/container_bytes.h"
#include "tests/support/memory_buffers.h"

namespace installer_test {
namespace {

using builder::package_spec;
using builder::regular;
using builder::version;

class installing : public scratch_test {};

TEST_F(installing, a_package_lands_with_its_files_and_database_entry) {
    package_spec a{.name = "a", .version = version(2, 9, 5), .revision = 3};
    a.depends = {{"base", 0, 0}};
    a.provides = {{"shell", version(1, 0), 0, -1}};
    a.files = {builder::directory("/opt", 0755), builder::directory("/opt/lib", 0755),
               builder::directory("/opt/lib/a", 0750), regular("/opt/lib/a/z", "zz"),
               regular("opt/lib/a/b", "bb", 0600), builder::symlink("/opt/lib/a/l", "b")};
    given_installed(package_spec{.name = "base", .version = version(1, 0)});
    const sandbox::result r = install(package(a));
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(shows(r, "installed a-2.9.5"));
    EXPECT_EQ(read("/opt/lib/a/b"), "bb");
    EXPECT_EQ(read("/var/pdb/a/version"), std::to_string(version(2, 9, 5)) + " 3\n");
    EXPECT_EQ(read("/var/pdb/a/deps"), "base 0 0\n");
    EXPECT_EQ(read("/var/pdb/a/provides"), "shell " + std::to_string(version(1, 0)) + " 0 -1\n");
    EXPECT_FALSE(exists("/var/pdb/a/conflicts"));
    EXPECT_EQ(read("/var/pdb/a/files"), "opt/lib/a/b\nopt/lib/a/l\nopt/lib/a/z\n");
    struct stat st;
    ASSERT_EQ(stat(path("/opt/lib/a").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0750u);
    ASSERT_EQ(stat(path("/opt/lib/a/b").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(read("/postlog"), "installed a-2.9.5\n");
}

struct check_case {
    const char* what;
    package_spec candidate;
    std::vector<std::string> options;
    int status;
    std::string line;  // the one message expected
};

TEST_F(installing, checks_refuse_with_one_message_or_let_through) {
    given_installed(package_spec{.name = "x", .version = version(2, 0)});
    given_installed(package_spec{.name = "old", .version = version(1, 0)});
    package_spec two_deps{.name = "needy", .version = version(1, 0)};
    two_deps.depends = {{"x", 0, 0}, {"gone", version(3, 1), 0}, {"lost", 0, 0}};
    package_spec foreign{.name = "arm", .version = version(1, 0), .architecture = "arm"};
    foreign.depends = {{"gone", 0, 0}};
    const std::vector<check_case> cases = {
        {"same version", {.name = "x", .version = version(2, 0)}, {}, 0,
         "WARNING: omitting package x-2.0: it is already installed"},
        {"older version", {.name = "x", .version = version(1, 5)}, {}, 0,
         "WARNING: omitting package x-1.5: newer package x-2.0 is already installed"},
        {"architecture first", foreign, {}, 1,
         "ERROR: can not install arm-1.0: it is not made for i386, but for arm"},
        {"first missing dependency", two_deps, {}, 1,
         "ERROR: can not install needy-1.0: gone-3.1 is not installed, but is required"},
        {"recovery", {.name = "x", .version = version(2, 0)}, {"--recover"}, 0,
         "installed x-2.0"},
        {"upgrade", {.name = "old", .version = version(1, 1)}, {}, 0, "installed old-1.1"},
    };
    for (const check_case& c : cases) {
        SCOPED_TRACE(c.what);
        const sandbox::result r = install(package(c.candidate), c.options);
        EXPECT_EQ(r.status, c.status);
        EXPECT_TRUE(shows(r, c.line)) << r.out;
    }
    EXPECT_EQ(read("/var/pdb/x/version"), std::to_string(version(2, 0)) + " 0\n");
}

TEST_F(installing, down_lets_an_older_version_replace_the_newer) {
    package_spec newer{.name = "a", .version = version(2, 0)};
    newer.files = {regular("/a-new", "2")};
    package_spec older{.name = "a", .version = version(1, 0)};
    older.files = {regular("/a-old", "1")};
    given_installed(newer);
    const sandbox::result r = install(package(older), {"-down"});
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(exists("/a-new"));
    EXPECT_EQ(read("/a-old"), "1");
    EXPECT_EQ(read("/var/pdb/a/files"), "a-old\n");
}

TEST_F(installing, upgrade_runs_the_old_uninstall_script_and_the_new_install_script) {
    package_spec old{.name = "a", .version = version(1, 0)};
    old.onuninstall = "echo old-gone >> /marks\n";
    old.files = with_directories({regular("/etc/a.conf", "1"), regular("/opt/bin/a1", "1")});
    package_spec next{.name = "a", .version = version(1, 1)};
    next.oninstall = "echo new-here >> /marks\n";
    next.files = with_directories({regular("/etc/a.conf", "2")});
    given_installed(old);
    const sandbox::result r = install(package(next));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("/marks"), "old-gone\nnew-here\n");
    EXPECT_EQ(read("/etc/a.conf"), "2");
    EXPECT_FALSE(exists("/opt/bin/a1"));
    EXPECT_FALSE(exists("/var/pdb/a/onuninstall"));
}

TEST_F(installing, a_package_an_enabled_one_conflicts_with_comes_in_disabled) {
    package_spec guard{.name = "guard", .version = version(1, 0)};
    guard.conflicts = {{"late", 0, 0}};
    given_installed(guard);
    package_spec late{.name = "late", .version = version(1, 0)};
    late.oninstall = "touch /ran\n";
    late.files = with_directories({regular("/opt/bin/late", "l")});
    const sandbox::result r = install(package(late));
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(shows(r, "installed (disabled) late-1.0")) << r.out;
    EXPECT_EQ(read("/x/late/opt/bin/late"), "l");
    EXPECT_FALSE(exists("/opt/bin/late"));
    EXPECT_TRUE(exists("/var/pdb/late/disabled"));
    EXPECT_EQ(read("/var/pdb/late/files"), "x/late/opt/bin/late\n");
    EXPECT_FALSE(exists("/ran"));
}

// The bar fills the 76 columns left of the label; a disabled package says so
// in front of its label, and a bundle's member goes by the bundle's label.
TEST_F(installing, the_progress_bar_fills_as_the_package_is_read) {
    const auto full_bar = [](const std::string& head) {
        return "\x1b[?25l\r" + head + std::string(76 - head.size(), '#') + "]\r\x1b[?25h";
    };
    package_spec guard{.name = "guard", .version = version(1, 0)};
    guard.conflicts = {{"late", 0, 0}};
    given_installed(guard);
    package_spec plain{.name = "a", .version = version(1, 0)};
    plain.files = {regular("/a", std::string(50000, 'a'))};
    package_spec late{.name = "late", .version = version(1, 0)};
    late.files = {regular("/late", "l")};
    builder::bundle_spec suite{.name = "suite", .version = version(2, 0)};
    package_spec member{.name = "m", .version = version(1, 0)};
    member.files = {regular("/m", std::string(50000, 'm'))};
    suite.members = {member};

    struct progress_case {
        const char* what;
        std::string file;
        std::string head;
    };
    const std::vector<progress_case> cases = {
        {"plain", package(plain), "installing a-1.0 ["},
        {"disabled", package(late), "installing  (disabled) late-1.0 ["},
        {"member", bundle(suite), "installing suite-2.0 ["},
    };
    for (const progress_case& c : cases) {
        SCOPED_TRACE(c.what);
        const sandbox::result r = install(c.file);
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find(full_bar(c.head)), std::string::npos) << r.out;
    }
}

TEST_F(installing, a_package_that_conflicts_with_an_installed_one_disables_it) {
    package_spec old{.name = "old", .version = version(1, 0)};
    old.files = with_directories({regular("/opt/bin/old", "o")});
    given_installed(old);
    package_spec rival{.name = "rival", .version = version(1, 0)};
    rival.conflicts = {{"old", 0, 0}};
    const sandbox::result r = install(package(rival));
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(shows(r, "disabled old-1.0")) << r.out;
    EXPECT_TRUE(shows(r, "installed rival-1.0"));
    EXPECT_EQ(read("/x/old/opt/bin/old"), "o");
    EXPECT_TRUE(exists("/var/pdb/old/disabled"));
}

TEST_F(installing, foreign_files_are_replaced_and_files_of_other_packages_kept) {
    package_spec owner{.name = "owner", .version = version(1, 0)};
    owner.files = {regular("/shared", "owner")};
    given_installed(owner);
    write("/ghost", "left over");
    package_spec b{.name = "b", .version = version(1, 0)};
    b.files = {regular("/shared", "b"), regular("/ghost", "b")};
    const sandbox::result r = install(package(b));
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(shows(r, "WARNING: file /shared collides with owner package")) << r.out;
    EXPECT_TRUE(shows(r, "WARNING: ghost file /ghost"));
    EXPECT_EQ(read("/shared"), "owner");
    EXPECT_EQ(read("/ghost"), "b");
    EXPECT_EQ(read("/var/pdb/b/files"), "ghost\n");
}

TEST_F(installing, an_untracked_package_overwrites_quietly_and_leaves_no_entry) {
    package_spec owner{.name = "owner", .version = version(1, 0)};
    owner.files = {regular("/shared", "owner")};
    given_installed(owner);
    package_spec patch{.name = "patch", .version = version(1, 0)};
    patch.files = {regular("/shared", "patched")};
    const sandbox::result r = install(package(patch, true));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(console_lines(r.out).size(), 1u) << r.out;
    EXPECT_EQ(read("/shared"), "patched");
    EXPECT_FALSE(exists("/var/pdb/patch"));
}

TEST_F(installing, a_failed_untracked_install_leaves_the_tracked_entry_of_its_name) {
    package_spec tracked{.name = "t", .version = version(1, 0)};
    tracked.files = {regular("/t", "t")};
    given_installed(tracked);
    package_spec patch{.name = "t", .version = version(1, 1)};
    patch.files = {regular("/t-extra", "x"), regular("/no/such/dir/f", "x")};
    // An existing file in the way of a directory makes the second entry fail.
    write("/no", "blocker");
    const sandbox::result r = install(package(patch, true));
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_FALSE(exists("/t-extra"));
    EXPECT_EQ(read("/var/pdb/t/files"), "t\n");
    EXPECT_EQ(read("/t"), "t");
}

TEST_F(installing, damaged_archives_and_unsafe_names_are_broken_packages) {
    package_spec bad_type{.name = "weird", .version = version(1, 0)};
    bad_type.files = {regular("/weird-1", "1"), {0xe000 | 0644, "/weird-2", ""}};
    const std::vector<package_spec> cases = {
        bad_type,
        {.name = "..", .version = version(1, 0)},
        {.name = "a/b", .version = version(1, 0)},
    };
    for (const package_spec& p : cases) {
        SCOPED_TRACE(p.name);
        const sandbox::result r = install(package(p));
        EXPECT_EQ(r.status, 1);
        const std::string label = p.name + "-1.0";
        EXPECT_TRUE(shows(r, "ERROR: installation of " + label + " failed: broken package"))
            << r.out;
    }
    EXPECT_FALSE(exists("/weird-1"));
    EXPECT_TRUE(entries().empty());
}

TEST_F(installing, a_package_read_from_a_pipe_installs_like_a_file) {
    package_spec a{.name = "a", .version = version(1, 0)};
    a.files = {regular("/a", std::string(100000, 'a'))};
    const std::string inside = package(a);
    sandbox::run_options options;
    options.stdin_path = path(inside);
    options.stdin_as_pipe = true;
    const sandbox::result r = box_->run({"-", "-q"}, options);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("/a"), std::string(100000, 'a'));
    EXPECT_TRUE(shows(r, "installed a-1.0"));
}

TEST_F(installing, command_line_outcomes) {
    EXPECT_EQ(run({"/pkg/missing.vsk"}).status, 1);
    const sandbox::result usage = run({"a.vsk", "b.vsk"});
    EXPECT_EQ(usage.status, 0);
    EXPECT_EQ(usage.out, "usage: installer [-q] [--filegc] [-r <root>] [-]\n");
    sandbox::run_options options;
    options.root_argument = false;
    const sandbox::result no_root = box_->run({"-r", "/no/such/root", "/pkg/a.vsk"}, options);
    EXPECT_EQ(no_root.status, 1);
    EXPECT_EQ(no_root.err.rfind("chroot: ", 0), 0u) << no_root.err;
}

// A writer feeding a package through a pipe must be able to hand over all of
// it, even when the package is unusable from its first bytes.
TEST(install_stream, reads_an_unusable_stream_to_its_end) {
    using namespace fixture;
    const std::string tail(100000, 'x');
    const std::vector<std::pair<const char*, std::string>> streams = {
        {"foreign magic", std::string(8, '\0') + tail},
        {"cut header part",
         container_bytes(part_bytes(part_package, header_record_bytes("a", 1, 0).substr(0, 20))) + tail},
    };
    for (const auto& [label, bytes] : streams) {
        SCOPED_TRACE(label);
        memory_source pipe(bytes, false);
        in_stream in(&pipe);
        memory_sink console;
        out_stream console_out(&console);
        repo r(console_out);
        EXPECT_EQ(install_stream(r, in, allow_upgrade, previous_state_map()), 1);
        EXPECT_EQ(pipe.position(), static_cast<std::int64_t>(bytes.size()));
        EXPECT_EQ(console.bytes(), "");
    }
}

}  // namespace
}  // namespace installer_test
