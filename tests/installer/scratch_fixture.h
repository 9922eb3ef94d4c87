#pragma once

// A scratch root per test, in its own mount namespace, with the installer
// of the build run on it as "installer -r /root ...". Packages are written
// straight into the root with the package builder.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/package_builder.h"
#include "tests/support/sandbox.h"

namespace installer_test {

inline std::string installer_binary() { return std::string(TARNVALE_BIN_DIR) + "/installer"; }

// The finished console lines: each line as it stands after the progress
// line's redrawing (the text behind the last carriage return).
inline std::vector<std::string> console_lines(const std::string& console) {
    std::vector<std::string> lines;
    std::istringstream in(console);
    for (std::string line; std::getline(in, line);) {
        const std::size_t cr = line.rfind('\r');
        if (cr != std::string::npos) line = line.substr(cr + 1);
        if (line.rfind("\x1b[?25h", 0) == 0) line = line.substr(6);
        lines.push_back(line);
    }
    return lines;
}

class scratch_test : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string reason = sandbox::unavailable_reason();
        if (!reason.empty()) GTEST_SKIP() << reason;
        if (access(installer_binary().c_str(), X_OK) != 0) GTEST_SKIP() << "installer not built";
        box_ = std::make_unique<sandbox::scratch_root>(TARNVALE_BIN_DIR, 64u << 20);
        if (!box_->ready()) GTEST_SKIP() << box_->failure();
        // Package scripts source the installed system's profile first.
        write("/vesk/lib/install/profile.sh", "");
    }

    std::string path(const std::string& inside) const { return box_->path(inside); }

    void write(const std::string& inside, const std::string& text) {
        std::filesystem::create_directories(std::filesystem::path(path(inside)).parent_path());
        std::ofstream out(path(inside), std::ios::binary | std::ios::trunc);
        out << text;
        ASSERT_TRUE(out.good()) << inside;
    }
    std::string read(const std::string& inside) const {
        std::ifstream in(path(inside), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    bool exists(const std::string& inside) const {
        struct stat st;
        return lstat(path(inside).c_str(), &st) == 0;
    }

    // Writes a package below "/pkg" in the root; returns its path there.
    std::string package(const builder::package_spec& p, bool untracked = false) {
        const std::string inside = next_package_path(p.name);
        EXPECT_TRUE(builder::write_package(path(inside), p, untracked));
        return inside;
    }
    std::string bundle(const builder::bundle_spec& b) {
        const std::string inside = next_package_path(b.name);
        EXPECT_TRUE(builder::write_bundle(path(inside), b));
        return inside;
    }

    sandbox::result run(const std::vector<std::string>& args, int timeout_ms = 30000) {
        sandbox::run_options options;
        options.timeout_ms = timeout_ms;
        return box_->run(args, options);
    }
    // Installs a package file of the root, with options in front.
    sandbox::result install(const std::string& inside, std::vector<std::string> args = {}) {
        args.push_back(inside);
        return run(args);
    }
    // Installs quietly what a test only needs in place.
    void given_installed(const builder::package_spec& p) {
        const sandbox::result r = install(package(p), {"-q"});
        ASSERT_EQ(r.status, 0) << p.name << ": " << r.out << r.err;
    }

    std::set<std::string> entries() const {
        std::set<std::string> names;
        std::error_code ignored;
        for (const auto& e : std::filesystem::directory_iterator(path("/var/pdb"), ignored)) {
            names.insert(e.path().filename().string());
        }
        return names;
    }

    std::unique_ptr<sandbox::scratch_root> box_;

private:
    std::string next_package_path(const std::string& name) {
        std::filesystem::create_directories(path("/pkg"));
        std::string file = name;
        for (char& c : file) {
            if (c == '/' || c == '.') c = '_';
        }
        return "/pkg/" + file + "-" + std::to_string(++serial_) + ".vsk";
    }
    int serial_ = 0;
};

// The entries with a directory entry for every ancestor in front, as a
// package builder puts them: the installer creates no parents of its own.
inline std::vector<builder::entry_spec> with_directories(std::vector<builder::entry_spec> files) {
    std::set<std::string> directories;
    for (const builder::entry_spec& f : files) {
        std::string name = f.name[0] == '/' ? f.name : "/" + f.name;
        for (std::size_t slash = name.find('/', 1); slash != std::string::npos;
             slash = name.find('/', slash + 1)) {
            directories.insert(name.substr(0, slash));
        }
    }
    std::vector<builder::entry_spec> all;
    for (const std::string& d : directories) all.push_back(builder::directory(d));
    all.insert(all.end(), files.begin(), files.end());
    return all;
}

// True when the console shows the line (ignoring progress redrawing).
inline bool shows(const sandbox::result& r, const std::string& line) {
    for (const std::string& l : console_lines(r.out)) {
        if (l == line) return true;
    }
    return false;
}

}  // namespace installer_test
