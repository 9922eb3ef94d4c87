// One failing call at every point of an install, an upgrade and a store run:
// the Nth write, rename, mkdir or fsync fails with ENOSPC or EIO. Whatever
// fails, the database stays whole, no other package loses a file, and the
// same command run again without the fault succeeds.

#include <cerrno>
#include <functional>

#include "tests/system/fixture.h"

namespace system_test {
namespace {

const std::string preload = "/tools/libfault_injection.so";

package_spec small(const std::string& name, unsigned major) {
    package_spec spec{.version = version(major, 0)};
    spec.name = name;
    const std::string tag = name + " " + std::to_string(major) + ".0";
    spec.files.push_back(regular("/opt/" + name + "/a", tag + " a\n"));
    spec.files.push_back(regular("/opt/" + name + "/b", tag + " b\n"));
    spec.oninstall = "true\n";
    spec.onuninstall = "true\n";
    return spec;
}

struct scenario {
    const char* label;
    bool upgrade;     // p 1.0 is installed first
    bool from_store;  // p 2.0 waits in the store; else it is named
};

class fault_injection : public installer_test {
protected:
    void SetUp() override {
        installer_test::SetUp();
        if (IsSkipped()) return;
        if (access((std::string(TARNVALE_BIN_DIR) + "/libfault_injection.so").c_str(), R_OK) != 0) {
            GTEST_SKIP() << "the fault injection library is not built";
        }
        keep_ = shop_.package(small("keep", 1));
        old_ = shop_.package(small("p", 1));
        new_ = shop_.package(small("p", 2));
    }

    // A fresh root as the scenario begins.
    void prepare(const scenario& s) {
        box_ = std::make_unique<sandbox::scratch_root>(TARNVALE_BIN_DIR, fs_bytes_);
        ASSERT_TRUE(box_->ready()) << box_->failure();
        write("/vesk/lib/install/profile.sh", "\n");
        ASSERT_EQ(install(keep_).status, 0);
        if (s.upgrade) {
            ASSERT_EQ(install(old_).status, 0);
        }
        std::filesystem::create_directories(box().path(s.from_store ? "/var/pckg" : "/pkg"));
        std::filesystem::create_directories(box().path("/ram"));
        std::filesystem::copy_file(new_,
                                   box().path(s.from_store ? "/var/pckg/p.vsk" : "/pkg/p.vsk"));
        keep_files_ = read("/var/pdb/keep/files");
    }

    // The run, with the fault at call `at` (0: none, only counted).
    sandbox::result attempt(const scenario& s, long at, int error) {
        sandbox::run_options options;
        options.environment = {"LD_PRELOAD=" + preload, "TARNVALE_FAULT_AT=" + std::to_string(at),
                               "TARNVALE_FAULT_ERRNO=" + std::to_string(error),
                               "ASAN_OPTIONS=verify_asan_link_order=0"};
        options.timeout_ms = 20000;
        return box().run(
            s.from_store ? std::vector<std::string>{} : std::vector<std::string>{"/pkg/p.vsk"},
            options);
    }

    static long calls(const sandbox::result& r) {
        const std::size_t at = r.err.rfind("fault-injection: ");
        return at == std::string::npos ? -1 : std::stol(r.err.substr(at + 17));
    }

    // Every entry loads: a whole "version" line, relation files of whole
    // lines, and a file list naming files that are there.
    void expect_whole_database() {
        for (const std::string& name : entries()) {
            SCOPED_TRACE("entry " + name);
            unsigned long version = 0, revision = 0;
            char end = 0;
            const std::string line = read("/var/pdb/" + name + "/version");
            EXPECT_EQ(std::sscanf(line.c_str(), "%lu %lu%c", &version, &revision, &end), 3) << line;
            EXPECT_EQ(end, '\n');
            const std::string deps = read("/var/pdb/" + name + "/deps");
            EXPECT_TRUE(exists("/var/pdb/" + name + "/deps"));
            EXPECT_TRUE(deps.empty() || deps.back() == '\n');
            for (const std::string& f : files_of(name)) EXPECT_TRUE(exists("/" + f)) << f;
        }
        EXPECT_EQ(read("/var/pdb/keep/files"), keep_files_);
        EXPECT_EQ(read("/opt/keep/a"), "keep 1.0 a\n");
        EXPECT_EQ(read("/opt/keep/b"), "keep 1.0 b\n");
    }

    void sweep(const scenario& s) {
        prepare(s);
        const long total = calls(attempt(s, 0, ENOSPC));
        ASSERT_GT(total, 0) << "nothing was counted";
        for (long at = 1; at <= total; ++at) {
            SCOPED_TRACE(std::string(s.label) + ", fault at call " + std::to_string(at));
            prepare(s);
            const int error = at % 2 == 0 ? EIO : ENOSPC;
            const sandbox::result faulted = attempt(s, at, error);
            EXPECT_EQ(faulted.signal, 0);
            EXPECT_FALSE(faulted.timed_out);
            expect_whole_database();

            const sandbox::result again = attempt(s, -1, 0);
            EXPECT_EQ(again.status, 0) << again.out;
            expect_whole_database();
            // A store file whose return move failed waits in "/ram/" for a
            // recovery run; nothing else may keep p from its new version.
            if (!(s.from_store && exists("/ram/p.vsk"))) {
                EXPECT_EQ(read("/opt/p/a"), "p 2.0 a\n");
                EXPECT_EQ(read("/var/pdb/p/version"),
                          std::to_string(version_number(2, 0)) + " 0\n");
            }
        }
    }

    std::string keep_, old_, new_, keep_files_;
};

TEST_F(fault_injection, a_fresh_install_survives_a_fault_at_every_call) {
    sweep({"install", false, false});
}

TEST_F(fault_injection, an_upgrade_survives_a_fault_at_every_call) {
    sweep({"upgrade", true, false});
}

TEST_F(fault_injection, a_store_run_survives_a_fault_at_every_call) {
    sweep({"store run", true, true});
}

}  // namespace
}  // namespace system_test
