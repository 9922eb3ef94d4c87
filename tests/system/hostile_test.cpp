// Damaged, careless and odd packages against the real installer: none of
// them may crash it, cost an installed package, or write outside the root.

#include <zlib.h>

#include <random>

#include "package/entry_rules.h"
#include "tests/support/package_builder.h"
#include "tests/system/fixture.h"

namespace system_test {
namespace {

std::string noise(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(generator());
    return bytes;
}

// A zlib stream of stored (uncompressed) blocks: its data bytes stand in
// the stream as they are, so damage to them is only seen by the checksum.
std::string stored_zlib(const std::string& bytes) {
    uLongf size = compressBound(bytes.size());
    std::string out(size, '\0');
    EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                        reinterpret_cast<const Bytef*>(bytes.data()), bytes.size(), 0),
              Z_OK);
    out.resize(size);
    return out;
}

std::string header_part(const std::string& name, std::uint32_t version) {
    return fixture::part_bytes(part_package, fixture::header_record_bytes(name, version, 0));
}

std::string files_part(const std::string& zlib_stream) {
    return fixture::part_bytes(part_files, zlib_stream);
}

class hostile : public installer_test {
protected:
    // The first version of "a", whose files and entry must survive every
    // broken upgrade.
    void install_first_version() {
        package_spec a{.name = "a", .version = version(1, 0)};
        a.files.push_back(regular("/opt/a/file", "a 1.0\n"));
        a.onuninstall = "echo gone >/tmp/uninstalled\n";
        ASSERT_EQ(install(shop_.package(a)).status, 0);
        first_files_ = read("/var/pdb/a/files");
        first_version_ = read("/var/pdb/a/version");
    }

    void expect_first_version_kept() {
        EXPECT_EQ(read("/opt/a/file"), "a 1.0\n");
        EXPECT_EQ(read("/var/pdb/a/files"), first_files_);
        EXPECT_EQ(read("/var/pdb/a/version"), first_version_);
        EXPECT_FALSE(exists("/tmp/uninstalled"));
        expect_consistent_database();
    }

    std::string first_files_, first_version_;
};

TEST_F(hostile, an_empty_root_is_refused_like_a_failing_chroot) {
    package_spec spec{.name = "a", .version = version(1, 0)};
    spec.files.push_back(regular("/opt/a/file", "a\n"));
    const std::string package = shop_.package(spec);
    std::filesystem::create_directories(box().jail_path("/pkg"));
    std::filesystem::copy_file(package, box().jail_path("/pkg/a.vsk"));
    sandbox::run_options options;
    options.root_argument = false;
    const sandbox::result r = box().run({"-r", "", "/pkg/a.vsk"}, options);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("chroot: ", 0), 0u) << r.err;
    EXPECT_FALSE(std::filesystem::exists(box().jail_path("/opt/a")));
    EXPECT_FALSE(std::filesystem::exists(box().jail_path("/postlog")));
    EXPECT_FALSE(exists("/opt/a"));
}

// A member script that reads its standard input must not take the rest of a
// bundle arriving through the same pipe.
TEST_F(hostile, scripts_of_a_package_on_standard_input_read_nothing_of_it) {
    std::vector<std::string> members;
    for (int i = 1; i <= 3; ++i) {
        package_spec m{.name = "m" + std::to_string(i), .version = version(1, 0)};
        m.files.push_back(
            regular("/opt/" + m.name + "/data", noise(64u << 10, static_cast<unsigned>(i))));
        m.oninstall = "cat >/dev/null\necho read >/tmp/" + m.name + "\n";
        members.push_back(shop_.package(m));
    }
    const std::string bundle = shop_.bundle("all", version(1, 0), members);
    const sandbox::result r = install_stdin(bundle, true);
    EXPECT_EQ(r.status, 0) << r.out;
    for (int i = 1; i <= 3; ++i) {
        const std::string name = "m" + std::to_string(i);
        EXPECT_TRUE(exists("/opt/" + name + "/data")) << name;
        EXPECT_EQ(read("/tmp/" + name), "read\n") << name;
    }
}

// The script's path goes to the shell quoted: a name with shell syntax in
// it runs that package's script and nothing else.
TEST_F(hostile, a_package_name_with_shell_syntax_runs_its_own_script_only) {
    for (const std::string name : {"a b", "a;touch b;", "a$(touch c)", "q'x"}) {
        SCOPED_TRACE(name);
        box_ = std::make_unique<sandbox::scratch_root>(TARNVALE_BIN_DIR, fs_bytes_);
        ASSERT_TRUE(box_->ready()) << box_->failure();
        write("/vesk/lib/install/profile.sh", "\n");
        builder::package_spec spec{.name = name, .version = builder::version(1, 0)};
        spec.oninstall = "echo ran >/ran\n";
        spec.files.push_back(builder::regular("/file", "x\n"));
        const sandbox::result r = install(shop_.written(spec));
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_EQ(read("/ran"), "ran\n");
        EXPECT_FALSE(exists("/b"));
        EXPECT_FALSE(exists("/c"));
        EXPECT_EQ(r.out.find("script failed"), std::string::npos) << r.out;
    }
}

struct broken_case {
    const char* label;
    std::string bytes;
};

// Fresh installs from standard input, read as they arrive: the damage is
// found on the way and everything placed so far is taken back.
TEST_F(hostile, damaged_packages_on_standard_input_are_broken_and_leave_nothing) {
    const std::string two = fixture::entry_bytes(0100644, "/opt/d/one", std::string(3000, '1')) +
                            fixture::entry_bytes(0100644, "/opt/d/two", std::string(3000, '2'));
    std::string checksum = stored_zlib(two);
    checksum[checksum.size() / 2] ^= 0x40;  // inside the first file's data
    std::string garbled = fixture::zlib_bytes(two);
    garbled[garbled.size() / 2] ^= 0xff;
    const std::string link_target(longest_link_target + 1, 't');
    const std::vector<broken_case> cases = {
        {"damage in a stored block", checksum},
        {"damaged compressed data", garbled},
        {"line break in a name",
         fixture::zlib_bytes(fixture::entry_bytes(0100644, "/opt/d/x\netc/passwd", "x"))},
        {"NUL in a name",
         fixture::zlib_bytes(fixture::entry_bytes(0100644, std::string("/opt/d/x\0y", 10), "x"))},
        {"dot-dot component",
         fixture::zlib_bytes(fixture::entry_bytes(0100644, "/opt/d/../../escaped", "x"))},
        {"link target too long",
         fixture::zlib_bytes(fixture::entry_bytes(0120777, "/opt/d/link", link_target))},
    };
    std::filesystem::create_directories(box().path("/opt/d"));
    for (const broken_case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string package =
            shop_.raw("d", fixture::container_bytes(header_part("d", builder::version(1, 0)) +
                                                    files_part(c.bytes)));
        const sandbox::result r = install_stdin(package, true);
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_EQ(read("/postlog"), "ERROR: installation of d-1.0 failed: broken package\n");
        EXPECT_TRUE(std::filesystem::is_empty(box().path("/opt/d")));
        EXPECT_FALSE(exists("/escaped"));
        EXPECT_EQ(entries().count("d"), 0u);
    }
}

// What the installer reads past and installs, and what it refuses, is what
// vsktool verify passes and fails.
TEST_F(hostile, verify_agrees_with_the_installer_on_odd_packages) {
    struct odd_case {
        const char* label;
        std::string bytes;
        bool accepted;
    };
    const std::string head = header_part("o", builder::version(1, 0));
    const std::string archive = fixture::entry_bytes(0100644, "/o", "o\n");
    const std::string files = files_part(fixture::zlib_bytes(archive));
    const std::string depends =
        fixture::part_bytes(part_depends, fixture::relation_list_bytes({{"nothing-needed"}}));
    const std::string bundle =
        fixture::part_bytes(part_bundle, fixture::header_record_bytes("ob", 1, 0));
    const std::vector<odd_case> cases = {
        {"bytes after the compressed stream",
         fixture::container_bytes(head + files_part(fixture::zlib_bytes(archive) + "junk")), true},
        {"unknown part type", fixture::container_bytes(head + fixture::part_bytes(99, "?") + files),
         true},
        {"depends after the files", fixture::container_bytes(head + files + depends), true},
        {"bundle without members", fixture::container_bytes(bundle), false},
        {"bundle whose member follows a files part",
         fixture::container_bytes(bundle + files + head + files), false},
    };
    for (const odd_case& c : cases) {
        SCOPED_TRACE(c.label);
        box_ = std::make_unique<sandbox::scratch_root>(TARNVALE_BIN_DIR, fs_bytes_);
        ASSERT_TRUE(box_->ready()) << box_->failure();
        const std::string package = shop_.raw("o", c.bytes);
        std::string err;
        EXPECT_EQ(run_tool({bin("vsktool"), "verify", package}, &err), c.accepted ? 0 : 1) << err;
        const sandbox::result r = install(package);
        EXPECT_EQ(r.status == 0, c.accepted) << r.out;
        EXPECT_EQ(exists("/o"), c.accepted);
    }
}

// From a file the package is read whole before the installed version is
// touched: a broken upgrade changes nothing, from the command line or from
// the store.
TEST_F(hostile, a_broken_upgrade_from_a_file_keeps_the_installed_version) {
    const std::string entries =
        fixture::entry_bytes(0100644, "/opt/a/file", "a 2.0\n") +
        fixture::entry_bytes(0100644, "/opt/a/more", std::string(5000, 'm'));
    std::string checksum = stored_zlib(entries);
    checksum[checksum.size() / 2] ^= 0x01;
    std::string garbled = fixture::zlib_bytes(entries);
    garbled[garbled.size() / 2] ^= 0xff;
    const std::string whole = fixture::zlib_bytes(entries);
    const std::string head = header_part("a", builder::version(2, 0));
    const std::string cut_file = fixture::container_bytes(head + files_part(whole));
    const std::vector<broken_case> cases = {
        {"damage in a stored block", fixture::container_bytes(head + files_part(checksum))},
        {"damaged compressed data", fixture::container_bytes(head + files_part(garbled))},
        {"compressed stream cut short",
         fixture::container_bytes(head + files_part(whole.substr(0, whole.size() / 2)))},
        {"file cut short", cut_file.substr(0, cut_file.size() - 10)},
        {"entry name with a line break",
         fixture::container_bytes(head + files_part(fixture::zlib_bytes(fixture::entry_bytes(
                                             0100644, "/opt/a/x\nvar/pdb/keep/files", "x"))))},
    };
    for (const bool from_store : {false, true}) {
        for (const broken_case& c : cases) {
            SCOPED_TRACE(std::string(c.label) + (from_store ? ", from the store" : ""));
            box_ = std::make_unique<sandbox::scratch_root>(TARNVALE_BIN_DIR, fs_bytes_);
            ASSERT_TRUE(box_->ready()) << box_->failure();
            install_first_version();
            const std::string package = shop_.raw("a2", c.bytes);
            if (from_store) {
                std::filesystem::create_directories(box().path("/var/pckg"));
                std::filesystem::create_directories(box().path("/ram"));
                std::filesystem::copy_file(package, box().path("/var/pckg/a.vsk"));
                const sandbox::result r = run({});
                EXPECT_EQ(r.status, 0) << r.out;
                EXPECT_TRUE(exists("/var/pckg/a.vsk"));
            } else {
                const sandbox::result r = install(package);
                EXPECT_EQ(r.status, 1) << r.out;
                EXPECT_EQ(read("/postlog"),
                          "ERROR: installation of a-2.0 failed: broken package\n");
            }
            EXPECT_FALSE(exists("/opt/a/more"));
            expect_first_version_kept();
        }
    }
}

// A compressed stream that merely stops early still ends the archive there
// when the package cannot be read twice.
TEST_F(hostile, a_stream_that_stops_early_on_standard_input_ends_the_archive) {
    const std::string first = fixture::entry_bytes(0100644, "/opt/d/one", "1\n");
    const std::string whole =
        stored_zlib(first + fixture::entry_bytes(0100644, "/opt/d/two", "2\n"));
    const std::string cut = whole.substr(0, 2 + 5 + first.size());
    const std::string package = shop_.raw(
        "d", fixture::container_bytes(header_part("d", builder::version(1, 0)) + files_part(cut)));
    std::filesystem::create_directories(box().path("/opt/d"));
    const sandbox::result r = install_stdin(package, true);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(read("/opt/d/one"), "1\n");
    EXPECT_FALSE(exists("/opt/d/two"));
}

TEST_F(hostile, a_declared_length_that_wraps_crashes_nothing) {
    install_first_version();
    std::string bytes = slurp(shop_.package([] {
        package_spec a{.name = "a", .version = version(2, 0)};
        a.files.push_back(regular("/opt/a/file", "a 2.0\n"));
        return a;
    }()));
    const std::string wrapping = fixture::le32(0xfffffff8u);
    bytes.replace(4, 4, wrapping);
    const std::string package = shop_.raw("wrap", bytes);

    sandbox::result r = install(package);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(read("/postlog"), "ERROR: installation of a-2.0 failed: broken package\n");
    expect_first_version_kept();

    // On standard input it cannot be read twice and is installed as written.
    r = install_stdin(package, true);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(read("/opt/a/file"), "a 2.0\n");
}

// "/opt//o/f" and "/opt/./o/f" are "/opt/o/f": the collision check, the
// file list and the database see that one spelling.
TEST_F(hostile, entry_names_are_collapsed_to_one_spelling) {
    package_spec o{.name = "o", .version = version(1, 0)};
    o.files.push_back(regular("/opt/o/f", "mine\n"));
    ASSERT_EQ(install(shop_.package(o)).status, 0);
    builder::package_spec n{.name = "n", .version = builder::version(1, 0)};
    n.files = {builder::regular("/opt//o/f", "theirs\n"),
               builder::regular("opt/./o/./f", "theirs\n"), builder::directory("/opt/n"),
               builder::regular("//opt/n//g/", "n\n")};
    const sandbox::result r = install(shop_.written(n));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(read("/opt/o/f"), "mine\n");
    EXPECT_EQ(read("/postlog"),
              "WARNING: file /opt/o/f collides with o package\n"
              "WARNING: file /opt/o/f collides with o package\n"
              "installed n-1.0\n");
    EXPECT_EQ(read("/var/pdb/n/files"), "opt/n/g\n");
    EXPECT_EQ(read("/var/pdb/o/files"), "opt/o/f\n");
}

// With /proc mounted in the root, "/proc/PID/root" leads to another
// process's root: here the test's own, outside the scratch root.
TEST_F(hostile, nothing_is_created_through_a_proc_magic_link) {
    ASSERT_TRUE(exists("/proc/self"));
    const std::string outside = shop_.dir() + "/outside";
    std::filesystem::create_directories(outside);
    const std::string through = "/proc/" + std::to_string(getpid()) + "/root" + outside;
    const std::vector<std::vector<builder::entry_spec>> cases = {
        {builder::regular(through + "/x", "escaped\n")},
        {builder::symlink("/l", through), builder::regular("/l/y", "escaped\n")},
        {builder::directory(through + "/d")},
        {builder::symlink("/r", "../.." + through), builder::regular("/r/z", "escaped\n")},
    };
    for (const auto& files : cases) {
        SCOPED_TRACE(files.back().name);
        builder::package_spec e{.name = "e", .version = builder::version(1, 0)};
        e.files = files;
        const std::string package = shop_.written(e);
        std::string err;
        EXPECT_EQ(run_tool({bin("vsktool"), "verify", package}, &err), 1) << err;
        EXPECT_NE(err.find(": path "), std::string::npos) << err;
        const sandbox::result r = install(package);
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(read("/postlog").find("ERROR: installation of e-1.0 failed: "),
                  std::string::npos);
        EXPECT_TRUE(std::filesystem::is_empty(outside));
        EXPECT_EQ(entries().count("e"), 0u);
        EXPECT_FALSE(exists("/l"));
        EXPECT_FALSE(exists("/r"));
    }
}

}  // namespace
}  // namespace system_test
