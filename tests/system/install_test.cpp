// The installer run from outside on one package at a time: the checks and
// their messages, replacing versions, the tree it writes, scripts, broken
// packages and the command line.

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utime.h>

#include "tests/system/fixture.h"

namespace system_test {
namespace {

using installer_run = installer_test;

package_spec untracked(package_spec p) {
    p.untracked = true;
    return p;
}

std::string version_line(std::uint32_t version, unsigned revision = 0) {
    return std::to_string(version) + " " + std::to_string(revision) + "\n";
}

package_spec simple(const std::string& name, std::uint32_t number = version(1, 0)) {
    package_spec spec{.name = name, .version = number};
    spec.files.push_back(
        regular("/opt/" + name + "/file", name + " " + version_text(number) + "\n"));
    return spec;
}

struct check_case {
    const char* label;
    std::vector<package_spec> installed;
    package_spec offered;
    int status;
    std::string postlog;     // the offered package's run only
    bool offered_installed;  // its files are in the tree afterwards
};

TEST_F(installer_run, checks_refuse_or_let_through_with_their_messages) {
    package_spec a2 = simple("a", version(2, 0));
    package_spec arm = simple("b");
    arm.architecture = "arm";
    package_spec same_arch = simple("b");
    same_arch.architecture = "i386";
    package_spec needs = simple("c");
    needs.depends = {{"a"}, {"x", version(1, 0)}, {"y"}};
    package_spec needs_any = simple("c");
    needs_any.depends = {{"a", version(1, 0), version(3, 0)}};
    package_spec needs_provided = simple("c");
    needs_provided.depends = {{"web", version(2, 0)}};
    package_spec arm_needy = simple("b");
    arm_needy.architecture = "arm";
    arm_needy.depends = {{"gone"}};
    package_spec provider = simple("p");
    provider.provides = {{"web", version(2, 0), version(2, 5)}};
    const std::vector<check_case> cases = {
        {"newer installed",
         {a2},
         simple("a", version(1, 0)),
         0,
         "WARNING: omitting package a-1.0: newer package a-2.0 is already installed\n",
         false},
        {"same installed",
         {a2},
         simple("a", version(2, 0)),
         0,
         "WARNING: omitting package a-2.0: it is already installed\n",
         true},
        {"other architecture",
         {},
         arm,
         1,
         "ERROR: can not install b-1.0: it is not made for i386, but for arm\n",
         false},
        {"own architecture", {}, same_arch, 0, "installed b-1.0\n", true},
        {"architecture before dependencies",
         {},
         arm_needy,
         1,
         "ERROR: can not install b-1.0: it is not made for i386, but for arm\n",
         false},
        {"first missing dependency only",
         {a2},
         needs,
         1,
         "ERROR: can not install c-1.0: x-1.0 is not installed, but is required\n",
         false},
        {"dependency met by version range", {a2}, needs_any, 0, "installed c-1.0\n", true},
        {"dependency met by a provided name",
         {provider},
         needs_provided,
         0,
         "installed c-1.0\n",
         true},
    };
    for (const check_case& c : cases) {
        SCOPED_TRACE(c.label);
        box_ = std::make_unique<sandbox::scratch_root>(TARNVALE_BIN_DIR, fs_bytes_);
        ASSERT_TRUE(box_->ready()) << box_->failure();
        for (const package_spec& spec : c.installed)
            ASSERT_EQ(install(shop_.package(spec)).status, 0);
        sandbox::result r = install(shop_.package(c.offered));
        EXPECT_EQ(r.status, c.status) << r.out;
        EXPECT_EQ(read("/postlog"), c.postlog);
        EXPECT_NE(r.out.find(c.postlog), std::string::npos) << r.out;
        const std::string file = "/opt/" + c.offered.name + "/file";
        EXPECT_EQ(read(file) == c.offered.name + " " + version_text(c.offered.version) + "\n",
                  c.offered_installed);
        // A package that stays out leaves the installed version's entry be.
        for (const package_spec& spec : c.installed) {
            if (spec.name == c.offered.name) {
                EXPECT_EQ(read("/var/pdb/" + spec.name + "/version"), version_line(spec.version));
            }
        }
    }
}

TEST_F(installer_run, upgrade_replaces_the_old_version_and_runs_both_scripts) {
    package_spec old = simple("a", version(1, 0));
    old.files.push_back(regular("/opt/a/only-old", "old\n"));
    old.onuninstall = "echo gone >> $MARKS\n";
    package_spec now = simple("a", version(2, 1, 3));
    now.revision = 4;
    now.files.push_back(regular("/opt/a/only-new", "new\n"));
    now.oninstall = "echo here >> $MARKS\n";
    ASSERT_EQ(install(shop_.package(old)).status, 0);
    sandbox::result r = install(shop_.package(now));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("/postlog"), "installed a-2.1.3\n");
    EXPECT_TRUE(shows(r, "installed a-2.1.3")) << r.out;
    EXPECT_EQ(read("/var/pdb/a/version"), version_line(version_number(2, 1, 3), 4));
    EXPECT_EQ(read("/var/pdb/a/files"), "opt/a/file\nopt/a/only-new\n");
    EXPECT_EQ(read("/opt/a/file"), "a 2.1.3\n");
    EXPECT_FALSE(exists("/opt/a/only-old"));
    EXPECT_EQ(read("/tmp/marks"), "gone\nhere\n");
    EXPECT_FALSE(exists("/var/pdb/a/onuninstall"));
}

TEST_F(installer_run, downgrade_only_with_down) {
    package_spec newer = simple("a", version(2, 0));
    newer.files.push_back(regular("/opt/a/only-2.0", "2\n"));
    ASSERT_EQ(install(shop_.package(newer)).status, 0);
    const std::string older = shop_.package(simple("a", version(1, 5)));
    sandbox::result refused = install(older);
    EXPECT_EQ(refused.status, 0);
    EXPECT_EQ(read("/opt/a/file"), "a 2.0\n");
    sandbox::result r = install(older, {"-down"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("/postlog"), "installed a-1.5\n");
    EXPECT_EQ(read("/var/pdb/a/version"), version_line(version_number(1, 5)));
    EXPECT_EQ(read("/opt/a/file"), "a 1.5\n");
    EXPECT_FALSE(exists("/opt/a/only-2.0"));
    EXPECT_EQ(read("/var/pdb/a/files"), "opt/a/file\n");
}

TEST_F(installer_run, recover_reports_the_installed_version_as_installed) {
    package_spec spec = simple("a");
    spec.oninstall = "echo ran >> $MARKS\n";
    const std::string package = shop_.package(spec);
    ASSERT_EQ(install(package).status, 0);
    sandbox::result r = install(package, {"--recover"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("\x1b[?25l\r\x1b[Ainstalling", 0), 0u) << r.out;
    EXPECT_EQ(read("/postlog"), "installed a-1.0\n");
    EXPECT_TRUE(shows(r, "installed a-1.0")) << r.out;
    EXPECT_EQ(read("/tmp/marks"), "ran\n");
}

TEST_F(installer_run, a_package_an_enabled_one_conflicts_with_is_installed_disabled) {
    package_spec x = simple("x");
    x.conflicts = {{"y"}};
    package_spec y = simple("y");
    y.oninstall = "echo y >> $MARKS\n";
    ASSERT_EQ(install(shop_.package(x)).status, 0);
    sandbox::result r = install(shop_.package(y));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("/postlog"), "installed (disabled) y-1.0\n");
    EXPECT_TRUE(shows(r, "installed (disabled) y-1.0")) << r.out;
    EXPECT_TRUE(exists("/var/pdb/y/disabled"));
    EXPECT_EQ(read("/var/pdb/y/files"), "x/y/opt/y/file\n");
    EXPECT_EQ(read("/x/y/opt/y/file"), "y 1.0\n");
    EXPECT_FALSE(exists("/opt/y/file"));
    EXPECT_FALSE(exists("/tmp/marks"));
    EXPECT_EQ(read("/opt/x/file"), "x 1.0\n");
}

TEST_F(installer_run, a_package_that_conflicts_with_an_installed_one_disables_it) {
    package_spec y = simple("y");
    y.onuninstall = "echo y-off >> $MARKS\n";
    package_spec x = simple("x");
    x.conflicts = {{"y"}};
    ASSERT_EQ(install(shop_.package(y)).status, 0);
    sandbox::result r = install(shop_.package(x));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("/postlog"), "disabled y-1.0\ninstalled x-1.0\n");
    EXPECT_TRUE(shows(r, "disabled y-1.0")) << r.out;
    EXPECT_TRUE(shows(r, "installed x-1.0")) << r.out;
    EXPECT_TRUE(exists("/var/pdb/y/disabled"));
    EXPECT_EQ(read("/x/y/opt/y/file"), "y 1.0\n");
    EXPECT_EQ(read("/tmp/marks"), "y-off\n");
    EXPECT_FALSE(exists("/var/pdb/x/disabled"));
}

TEST_F(installer_run, ghost_files_are_replaced_and_colliding_ones_kept) {
    package_spec a = simple("a");
    a.files.push_back(regular("/opt/shared", "from a\n"));
    ASSERT_EQ(install(shop_.package(a)).status, 0);
    write("/opt/ghost", "left behind\n");
    package_spec b = simple("b");
    b.files.push_back(regular("/opt/shared", "from b\n"));
    b.files.push_back(regular("/opt/ghost", "from b\n"));
    sandbox::result r = install(shop_.package(b));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("/postlog"),
              "WARNING: ghost file /opt/ghost\n"
              "WARNING: file /opt/shared collides with a package\n"
              "installed b-1.0\n");
    EXPECT_TRUE(shows(r, "WARNING: file /opt/shared collides with a package")) << r.out;
    EXPECT_TRUE(shows(r, "WARNING: ghost file /opt/ghost")) << r.out;
    // Warnings come while the progress line is up: the line is blanked,
    // the warning written, and the progress line drawn again below it.
    EXPECT_NE(r.out.find("\r" + std::string(79, ' ') +
                         "\rWARNING: ghost file /opt/ghost\ninstalling b-1.0 ["),
              std::string::npos)
        << r.out;
    EXPECT_EQ(read("/opt/shared"), "from a\n");
    EXPECT_EQ(read("/opt/ghost"), "from b\n");
    EXPECT_EQ(read("/var/pdb/b/files"), "opt/b/file\nopt/ghost\n");
}

TEST_F(installer_run, untracked_package_overwrites_quietly_and_leaves_no_entry) {
    package_spec a = simple("a");
    ASSERT_EQ(install(shop_.package(a)).status, 0);
    package_spec patch{.version = version(1, 0)};
    patch.name = "patch";
    patch.untracked = true;
    patch.files.push_back(regular("/opt/a/file", "patched\n"));
    sandbox::result r = install(shop_.package(patch));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("/postlog"), "installed patch-1.0\n");
    EXPECT_EQ(console_lines(r.out).size(), 1u) << r.out;
    EXPECT_EQ(read("/opt/a/file"), "patched\n");
    EXPECT_EQ(entries(), (std::set<std::string>{"a"}));
}

TEST_F(installer_run, every_kind_of_archive_entry_lands_with_its_attributes) {
    const std::string t = shop_.tree("kinds");
    workshop::put(t, "/opt/k/run", "#!/bin/sh\n", 0750);
    ASSERT_EQ(symlink("run", (t + "/opt/k/link").c_str()), 0);
    ASSERT_EQ(mkfifo((t + "/opt/k/pipe").c_str(), 0620), 0);
    ASSERT_EQ(mknod((t + "/opt/k/char").c_str(), S_IFCHR | 0600, makedev(1, 7)), 0);
    ASSERT_EQ(mknod((t + "/opt/k/block").c_str(), S_IFBLK | 0640, makedev(7, 200)), 0);
    ASSERT_EQ(mkdir((t + "/opt/k/sub").c_str(), 0711), 0);
    // The umask must not decide the modes under test.
    const std::vector<std::pair<const char*, mode_t>> modes = {
        {"/opt/k/pipe", 0620}, {"/opt/k/char", 0600}, {"/opt/k/block", 0640}, {"/opt/k/sub", 0711}};
    for (const auto& [path, mode] : modes) ASSERT_EQ(chmod((t + path).c_str(), mode), 0);
    workshop::put(t, "/opt/k/sub/inner", "inner\n");
    const struct utimbuf file_time { 1000000000, 1000000000 };
    const struct utimbuf dir_time { 1200000000, 1200000000 };
    ASSERT_EQ(utime((t + "/opt/k/run").c_str(), &file_time), 0);
    ASSERT_EQ(utime((t + "/opt/k/sub").c_str(), &dir_time), 0);
    ASSERT_EQ(utime((t + "/opt").c_str(), &dir_time), 0);
    // An existing directory keeps its own mode, and does not take the
    // entry's time.
    ASSERT_EQ(mkdir(box().path("/opt").c_str(), 0701), 0);
    ASSERT_EQ(chmod(box().path("/opt").c_str(), 0701), 0);
    package_spec spec{.version = version(1, 0)};
    spec.name = "k";
    sandbox::result r = install(shop_.build(spec, t));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(read("/opt/k/run"), "#!/bin/sh\n");
    struct stat st = status_of("/opt/k/run");
    EXPECT_EQ(st.st_mode, S_IFREG | 0750u);
    EXPECT_EQ(st.st_mtime, 1000000000);
    st = status_of("/opt/k/link");
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    char target[64] = {};
    EXPECT_EQ(readlink(box().path("/opt/k/link").c_str(), target, sizeof target - 1), 3);
    EXPECT_STREQ(target, "run");
    st = status_of("/opt/k/pipe");
    EXPECT_EQ(st.st_mode, S_IFIFO | 0620u);
    st = status_of("/opt/k/char");
    EXPECT_EQ(st.st_mode, S_IFCHR | 0600u);
    EXPECT_EQ(st.st_rdev, makedev(1, 7));
    st = status_of("/opt/k/block");
    EXPECT_EQ(st.st_mode, S_IFBLK | 0640u);
    EXPECT_EQ(st.st_rdev, makedev(7, 200));
    st = status_of("/opt/k/sub");
    EXPECT_EQ(st.st_mode, S_IFDIR | 0711u);
    EXPECT_EQ(st.st_mtime, 1200000000);
    st = status_of("/opt");
    EXPECT_EQ(st.st_mode, S_IFDIR | 0701u);
    EXPECT_NE(st.st_mtime, 1200000000);
    EXPECT_EQ(read("/var/pdb/k/files"),
              "opt/k/block\nopt/k/char\nopt/k/link\nopt/k/pipe\nopt/k/run\nopt/k/sub/inner\n");
    EXPECT_EQ(read("/var/pdb/k/deps"), "");
    EXPECT_FALSE(exists("/var/pdb/k/provides"));
    EXPECT_FALSE(exists("/var/pdb/k/bundle"));
}

TEST_F(installer_run, metadata_files_hold_the_relations) {
    package_spec spec = simple("m");
    spec.version = version(3, 0, 3, 'c');
    spec.depends = {{"base"}, {"libc", version(2, 9, 5), version(3, 0)}};
    spec.provides = {{"mail", version(1, 0), 0, -2}};
    spec.conflicts = {{"old"}};
    write("/var/pdb/base/version", "1 0\n");
    write("/var/pdb/base/files", "");
    write("/var/pdb/libc/version", version_line(version_number(2, 9, 7)));
    write("/var/pdb/libc/files", "");
    sandbox::result r = install(shop_.package(spec));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(read("/postlog"), "installed m-3.0rc3\n");
    EXPECT_EQ(read("/var/pdb/m/version"), version_line(version_number(3, 0, 3, 'c')));
    EXPECT_EQ(read("/var/pdb/m/deps"), "base 0 0\nlibc " + std::to_string(version_number(2, 9, 5)) +
                                           " " + std::to_string(version_number(3, 0)) + "\n");
    EXPECT_EQ(read("/var/pdb/m/provides"),
              "mail " + std::to_string(version_number(1, 0)) + " 0 -2\n");
    EXPECT_EQ(read("/var/pdb/m/conflicts"), "old 0 0\n");
}

TEST_F(installer_run, scripts_are_stored_run_in_the_root_and_failures_only_warn) {
    package_spec spec = simple("s");
    spec.oninstall = "echo NOISE; echo NOISE >&2; pwd > /tmp/where\nexit 1\n";
    spec.onuninstall = "";
    sandbox::result r = install(shop_.package(spec));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("/postlog"),
              "WARNING: package s-1.0 oninstall script failed\n"
              "installed s-1.0\n");
    EXPECT_TRUE(shows(r, "WARNING: package s-1.0 oninstall script failed")) << r.out;
    EXPECT_TRUE(shows(r, "installed s-1.0")) << r.out;
    EXPECT_EQ(r.out.find("NOISE"), std::string::npos);
    EXPECT_EQ(r.err.find("NOISE"), std::string::npos);
    EXPECT_EQ(read("/tmp/where"), "/\n");
    const std::string preamble = "#!/bin/bash\n\n. /vesk/lib/install/profile.sh\n\n";
    EXPECT_EQ(read("/var/pdb/s/oninstall"), preamble + *spec.oninstall);
    EXPECT_EQ(read("/var/pdb/s/onuninstall"), preamble);
    EXPECT_EQ(status_of("/var/pdb/s/oninstall").st_mode & 07777, 0755u);
    EXPECT_EQ(read("/opt/s/file"), "s 1.0\n");
}

// A package cut or damaged in its archive leaves nothing behind: not the
// files extracted before the damage, not its scripts, not its entry.
TEST_F(installer_run, broken_packages_are_rolled_back) {
    std::string big(300000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>((i * 2654435761u) >> 13);
    package_spec spec{.version = version(1, 0)};
    spec.name = "t";
    spec.files.push_back(regular("/opt/t/a-small", "small\n"));
    spec.files.push_back(regular("/opt/t/big", big));
    spec.onuninstall = "echo t-off >> $MARKS\n";
    const std::string whole = slurp(shop_.package(spec));
    std::string cut = whole.substr(0, whole.size() * 2 / 3);
    const std::string cut_package = shop_.raw("cut", cut);

    using namespace fixture;
    const std::string head =
        part_bytes(part_package, header_record_bytes("t", version_number(1, 0), 0));
    const std::string good = entry_bytes(0x41ed, "/opt", "") + entry_bytes(0x41ed, "/opt/t", "") +
                             entry_bytes(0x81a4, "/opt/t/a-small", "small\n");
    const std::string socket = shop_.raw(
        "socket",
        container_bytes(
            head + part_bytes(part_files, zlib_bytes(good + entry_bytes(0xc1a4, "/opt/t/s", "")))));
    const std::string device = shop_.raw(
        "device", container_bytes(
                      head + part_bytes(part_files,
                                        zlib_bytes(good + entry_bytes(0x21a4, "/opt/t/d", "ab")))));
    // A link whose size field claims 4 GiB while the archive holds a few bytes.
    std::string huge_link = entry_bytes(0xa1ff, "/opt/t/l", "target");
    huge_link.replace(24, 4, le32(0xffffffffu));
    const std::string link = shop_.raw(
        "link", container_bytes(head + part_bytes(part_files, zlib_bytes(good + huge_link))));
    const std::string short_script = shop_.raw(
        "script", container_bytes(head + part_bytes(part_oninstall, "echo").substr(0, 8)));

    struct broken_case {
        const char* label;
        std::string package;
        int mode;  // 0 path, 1 standard input as a file, 2 standard input as a pipe
    };
    const std::vector<broken_case> cases = {
        {"cut file", cut_package, 0},         {"cut pipe", cut_package, 2},
        {"socket entry", socket, 0},          {"device of two bytes", device, 1},
        {"cut script part", short_script, 0}, {"link of a damaged size", link, 0},
    };
    for (const broken_case& c : cases) {
        SCOPED_TRACE(c.label);
        box_ = std::make_unique<sandbox::scratch_root>(TARNVALE_BIN_DIR, fs_bytes_);
        ASSERT_TRUE(box_->ready());
        write("/vesk/lib/install/profile.sh", "MARKS=/tmp/marks\n");
        ASSERT_EQ(install(shop_.package(simple("keep"))).status, 0);
        sandbox::result r =
            c.mode == 0 ? install(c.package) : install_stdin(c.package, c.mode == 2);
        EXPECT_EQ(r.status, 1);
        // A script that cannot be stored is reported by the script writer and
        // once more as a failure to create it.
        const std::string log = read("/postlog");
        const std::string broken = "ERROR: installation of t-1.0 failed: broken package\n";
        EXPECT_EQ(log.substr(0, broken.size()), broken);
        if (std::string(c.label) == "cut script part") {
            EXPECT_EQ(
                log.substr(broken.size())
                    .rfind("ERROR: installation of t-1.0 failed: could not create oninstall: ", 0),
                0u)
                << log;
        } else {
            EXPECT_EQ(log, broken);
        }
        EXPECT_EQ(entries(), (std::set<std::string>{"keep"}));
        EXPECT_FALSE(exists("/opt/t/a-small"));
        EXPECT_FALSE(exists("/opt/t/big"));
        EXPECT_EQ(read("/opt/keep/file"), "keep 1.0\n");
    }
}

// Names that would put an entry outside "/var/pdb/" (or on it) are refused
// before anything is written.
TEST_F(installer_run, unusable_package_names_are_broken_packages) {
    using namespace fixture;
    ASSERT_EQ(install(shop_.package(simple("keep"))).status, 0);
    const std::string archive =
        part_bytes(part_files, zlib_bytes(entry_bytes(0x81a4, "/opt/evil", "evil\n")));
    const std::vector<std::pair<std::string, std::string>> names = {
        {"", "-1.0"},
        {".", ".-1.0"},
        {"..", "..-1.0"},
        {"a/b", "a/b-1.0"},
        {"../../opt", "../../opt-1.0"},
        {"zz\ninstalled zz", "zz?installed zz-1.0"},
        {"\x1b[2J", "?[2J-1.0"},
        {"a\x7f", "a?-1.0"}};
    for (const auto& [name, label] : names) {
        SCOPED_TRACE("name \"" + name + "\"");
        const std::string package = shop_.raw(
            "name",
            container_bytes(
                part_bytes(part_package, header_record_bytes(name, version_number(1, 0), 0)) +
                part_bytes(part_oninstall, "echo evil > /opt/ran\n") + archive));
        sandbox::result r = install(package);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(read("/postlog"),
                  "ERROR: installation of " + label + " failed: broken package\n");
        EXPECT_TRUE(shows(r, "ERROR: installation of " + label + " failed: broken package"))
            << r.out;
        EXPECT_FALSE(exists("/opt/evil"));
        EXPECT_FALSE(exists("/opt/ran"));
        EXPECT_EQ(entries(), (std::set<std::string>{"keep"}));
        EXPECT_TRUE(exists("/var/pdb/keep/version"));
        EXPECT_TRUE(exists("/var/pdb"));
    }
}

// When the root cannot be entered the run stops at once; going on would
// install into whatever root the installer happened to have.
TEST_F(installer_run, a_root_that_cannot_be_entered_stops_the_run) {
    const std::string package = shop_.package(simple("a"));
    std::filesystem::create_directories(box().jail_path("/pkg"));
    std::filesystem::copy_file(package, box().jail_path("/pkg/a.vsk"));
    sandbox::run_options options;
    options.root_argument = false;
    sandbox::result r = box().run({"-r", "/missing", "/pkg/a.vsk"}, options);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "chroot: No such file or directory\n");
    EXPECT_FALSE(std::filesystem::exists(box().jail_path("/postlog")));
    EXPECT_FALSE(std::filesystem::exists(box().jail_path("/var")));
    EXPECT_FALSE(std::filesystem::exists(box().jail_path("/opt")));
}

TEST_F(installer_run, command_line_mistakes_print_the_usage_line) {
    const std::string usage = "usage: installer [-q] [--filegc] [-r <root>] [-]\n";
    const std::vector<std::vector<std::string>> lines = {{"-q", "/pkg/a.vsk", "/pkg/b.vsk"},
                                                         {"/pkg/a.VSK"},
                                                         {"/pkg/a.tgz"},
                                                         {"--what"},
                                                         {".vs"},
                                                         {"-r"}};
    for (const auto& args : lines) {
        SCOPED_TRACE(args.back());
        sandbox::result r = run(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, usage);
        EXPECT_FALSE(exists("/postlog"));
    }
    sandbox::result missing = run({"/pkg/none.vsk"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(read("/postlog"), "");
}

TEST_F(installer_run, version_only_as_the_whole_first_argument) {
    sandbox::run_options options;
    options.root_argument = false;
    const sandbox::result version = box().run({"--version"}, options);
    EXPECT_EQ(version.status, 0);
    EXPECT_FALSE(std::filesystem::exists(box().jail_path("/postlog")));
    // The one version of the build: the same that vsktool prints.
    options.program = "vsktool";
    const sandbox::result tool = box().run({"--version"}, options);
    ASSERT_EQ(tool.out.rfind("vsktool ", 0), 0u) << tool.out;
    EXPECT_EQ(version.out, "installer " + tool.out.substr(8));
    // Anywhere else, or spelt otherwise, it is an unknown argument.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--version"}, {"-q", "--version"}, {"--versions"}}) {
        SCOPED_TRACE(args.back());
        const sandbox::result other = run(args);  // after "-r ROOT"
        EXPECT_EQ(other.status, 0);
        EXPECT_EQ(other.out, "usage: installer [-q] [--filegc] [-r <root>] [-]\n");
    }
}

TEST_F(installer_run, quiet_runs_print_and_log_nothing) {
    sandbox::result r = install(shop_.package(simple("a")), {"-q"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(exists("/postlog"));
    EXPECT_EQ(read("/postlog"), "");
    EXPECT_EQ(read("/opt/a/file"), "a 1.0\n");
    // "-" ends the parsing: a "-q" after it does not silence the run.
    sandbox::run_options options;
    options.stdin_path = shop_.package(simple("b"));
    options.stdin_as_pipe = true;
    sandbox::result loud = box().run({"-", "-q"}, options);
    EXPECT_EQ(loud.status, 0);
    EXPECT_NE(loud.out.find("installed b-1.0\n"), std::string::npos);
}

TEST_F(installer_run, a_package_lands_with_its_files_and_database_entry) {
    package_spec a{.name = "a", .version = version(2, 9, 5), .revision = 3};
    a.depends = {{"base", 0, 0}};
    a.provides = {{"shell", version(1, 0), 0, -1}};
    a.files = {builder::directory("/opt", 0755),       builder::directory("/opt/lib", 0755),
               builder::directory("/opt/lib/a", 0750), regular("/opt/lib/a/z", "zz"),
               regular("opt/lib/a/b", "bb", 0600),     builder::symlink("/opt/lib/a/l", "b")};
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

// The bar fills the 76 columns left of the label; a disabled package says so
// in front of its label, and a bundle's member goes by the bundle's label.
TEST_F(installer_run, the_progress_bar_fills_as_the_package_is_read) {
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

TEST_F(installer_run, a_failed_untracked_install_leaves_the_tracked_entry_of_its_name) {
    package_spec tracked{.name = "t", .version = version(1, 0)};
    tracked.files = {regular("/t", "t")};
    given_installed(tracked);
    package_spec patch{.name = "t", .version = version(1, 1)};
    patch.files = {regular("/t-extra", "x"), regular("/no/such/dir/f", "x")};
    // An existing file in the way of a directory makes the second entry fail.
    write("/no", "blocker");
    const sandbox::result r = install(package(untracked(patch)));
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_FALSE(exists("/t-extra"));
    EXPECT_EQ(read("/var/pdb/t/files"), "t\n");
    EXPECT_EQ(read("/t"), "t");
}

TEST_F(installer_run, an_entry_of_an_unknown_kind_is_a_broken_package) {
    package_spec weird{.name = "weird", .version = version(1, 0)};
    weird.files = {regular("/weird-1", "1"), {0xe000 | 0644, "/weird-2", ""}};
    const sandbox::result r = install(package(weird));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(shows(r, "ERROR: installation of weird-1.0 failed: broken package")) << r.out;
    EXPECT_FALSE(exists("/weird-1"));
    EXPECT_TRUE(entries().empty());
}

TEST_F(installer_run, a_package_read_from_a_pipe_installs_like_a_file) {
    package_spec a{.name = "a", .version = version(1, 0)};
    a.files = {regular("/a", std::string(100000, 'a'))};
    const std::string inside = package(a);
    sandbox::run_options options;
    options.stdin_path = inside;
    options.stdin_as_pipe = true;
    const sandbox::result r = box_->run({"-", "-q"}, options);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("/a"), std::string(100000, 'a'));
    EXPECT_TRUE(shows(r, "installed a-1.0"));
}

TEST_F(installer_run, a_script_part_cut_short_is_a_broken_package) {
    package_spec a{.name = "a", .version = version(1, 0)};
    a.oninstall = std::string(64, '#');
    const std::string inside = package(a);
    std::filesystem::resize_file(inside, std::filesystem::file_size(inside) - 10);
    const sandbox::result r = install(inside);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(shows(r, "ERROR: installation of a-1.0 failed: broken package")) << r.out;
    EXPECT_FALSE(exists("/var/pdb/a"));
}

}  // namespace
}  // namespace system_test
