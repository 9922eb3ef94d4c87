// Faults from outside: a file system that fills up in the middle of a
// package, and an installer killed at a random moment.

#include <signal.h>

#include <chrono>
#include <random>
#include <thread>

#include "tests/system/fixture.h"

namespace system_test {
namespace {

std::string random_bytes(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(generator());
    return bytes;
}

package_spec small(const std::string& name) {
    package_spec spec{.version = version(1, 0)};
    spec.name = name;
    spec.files.push_back(regular("/opt/" + name + "/file", name + "\n"));
    spec.oninstall = "true\n";
    return spec;
}

// The whole scratch tree lives on a 16 MiB tmpfs.
class installer_full_disk : public installer_test {
protected:
    installer_full_disk() : installer_test(16u << 20) {}
};

TEST_F(installer_full_disk, a_package_that_does_not_fit_is_removed_and_fits_later) {
    ASSERT_EQ(install(shop_.package(small("keep"))).status, 0);
    ASSERT_EQ(install(shop_.package(small("other"))).status, 0);
    const std::string keep_files = read("/var/pdb/keep/files");
    write("/filler", std::string(12u << 20, 'f'));
    package_spec big{.version = version(1, 0)};
    big.name = "big";
    big.files.push_back(regular("/opt/big/a-first", "first\n"));
    big.files.push_back(regular("/opt/big/data", random_bytes(6u << 20, 1)));
    big.files.push_back(regular("/opt/big/z-last", "last\n"));
    big.onuninstall = "true\n";
    const std::string package = shop_.package(big);

    sandbox::result r = install_stdin(package, false);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(read("/postlog"), "ERROR: installation of big-1.0 failed: disk is too small\n");
    EXPECT_EQ(entries(), (std::set<std::string>{"keep", "other"}));
    EXPECT_FALSE(exists("/opt/big/a-first"));
    EXPECT_FALSE(exists("/opt/big/data"));
    EXPECT_EQ(read("/var/pdb/keep/files"), keep_files);
    EXPECT_EQ(read("/var/pdb/keep/version"), read("/var/pdb/other/version"));
    EXPECT_EQ(read("/opt/keep/file"), "keep\n");
    expect_consistent_database();

    ASSERT_EQ(unlink(box().path("/filler").c_str()), 0);
    r = install_stdin(package, true);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("/postlog"), "installed big-1.0\n");
    EXPECT_EQ(read("/opt/big/z-last"), "last\n");
    expect_consistent_database();
}

using installer_killed = installer_test;

// Killed anywhere in an upgrade, the installer leaves a database that the
// next run repairs: the package installs again and every entry is whole.
TEST_F(installer_killed, at_a_random_moment_the_next_run_recovers) {
    package_spec old = small("p");
    old.files.push_back(regular("/opt/p/only-old", "old\n"));
    old.onuninstall = "true\n";
    package_spec now{.version = version(1, 0)};
    now.name = "p";
    now.version = version(2, 0);
    for (int i = 0; i < 40; ++i) {
        now.files.push_back(regular("/opt/p/f" + std::to_string(100 + i),
                                    random_bytes(48u << 10, static_cast<unsigned>(i))));
    }
    now.oninstall = "true\n";
    now.onuninstall = "true\n";
    const std::string keep = shop_.package(small("keep"));
    const std::string first = shop_.package(old);
    const std::string second = shop_.package(now);

    // How long an undisturbed upgrade takes, to spread the kills over it.
    ASSERT_EQ(install(keep).status, 0);
    ASSERT_EQ(install(first).status, 0);
    const auto begun = std::chrono::steady_clock::now();
    ASSERT_EQ(install(second).status, 0);
    const auto span = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::steady_clock::now() - begun)
                          .count();

    int interrupted = 0;
    for (unsigned seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        box_ = std::make_unique<sandbox::scratch_root>(TARNVALE_BIN_DIR, fs_bytes_);
        ASSERT_TRUE(box_->ready());
        ASSERT_EQ(install(keep).status, 0);
        ASSERT_EQ(install(first).status, 0);
        std::filesystem::create_directories(box().path("/pkg"));
        std::filesystem::copy_file(second, box().path("/pkg/p.vsk"));
        std::mt19937 generator(seed);
        // Within the first half of the measured span, so that a machine busier
        // or idler than during the measurement still sees most kills land.
        const long delay = std::uniform_int_distribution<long>(0, span / 2)(generator);
        const pid_t pid = box().start({"/pkg/p.vsk"});
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(std::chrono::microseconds(delay));
        kill(pid, SIGKILL);
        if (box().finish(pid, 10000).signal == SIGKILL) ++interrupted;

        sandbox::result again = install(second);
        EXPECT_EQ(again.status, 0) << again.out;
        expect_consistent_database();
        EXPECT_EQ(read("/var/pdb/p/version"), std::to_string(version_number(2, 0)) + " 0\n");
        for (const entry_spec& f : now.files) EXPECT_EQ(read(f.name), f.data) << f.name;
        EXPECT_EQ(read("/opt/keep/file"), "keep\n");
        EXPECT_EQ(read("/var/pdb/keep/files"), "opt/keep/file\n");
    }
    // Most kills must land inside the run, or the test proves little.
    EXPECT_GE(interrupted, 3);
}

}  // namespace
}  // namespace system_test
