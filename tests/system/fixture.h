#pragma once

// Fixture packages for the system tests, made the way a package builder
// makes them: a tree of files on disk handed to the real vsktool. Packages
// the tool refuses to make (bad names, unknown entry kinds) come from the
// test package writer; cut or damaged ones from raw container bytes.
//
// installer_test is the base of every system test: a fresh sandbox per test
// with the installer's run, the tree and the database at hand.

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/container_bytes.h"
#include "tests/support/files.h"
#include "tests/support/package_builder.h"
#include "tests/support/sandbox.h"

namespace system_test {

inline std::string bin(const std::string& program) {
    return std::string(TARNVALE_BIN_DIR) + "/" + program;
}

using test_files::slurp;
using test_files::spill;

// Runs a program of the build with arguments; its status, and its standard
// error in *err.
inline int run_tool(const std::vector<std::string>& args, std::string* err) {
    char pattern[] = "/tmp/tarnvale-tool-err-XXXXXX";
    int fd = mkstemp(pattern);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fd, 2);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        std::vector<char*> argv;
        std::vector<std::string> copy(args);
        for (std::string& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(copy[0].c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(fd);
    if (err) *err = slurp(pattern);
    unlink(pattern);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

using builder::bundle_spec;
using builder::entry_spec;
using builder::package_spec;
using builder::regular;
using builder::relation_spec;
using builder::version;
using builder::version_text;

// A scratch directory on the host for building packages; removed with the
// fixture.
class workshop {
public:
    workshop() {
        char pattern[] = "/tmp/tarnvale-workshop-XXXXXX";
        dir_ = mkdtemp(pattern);
    }
    ~workshop() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    const std::string& dir() const { return dir_; }

    // An empty staging tree for a package; fill it, then build() it.
    std::string tree(const std::string& label) {
        std::string path = dir_ + "/tree-" + label + "-" + std::to_string(++serial_);
        std::filesystem::create_directories(path);
        return path;
    }

    static void put(const std::string& tree, const std::string& path, const std::string& text,
                    mode_t mode = 0644) {
        const std::string full = tree + path;
        std::filesystem::create_directories(std::filesystem::path(full).parent_path());
        spill(full, text);
        chmod(full.c_str(), mode);
    }

    // Builds the package of a staging tree with the real vsktool; "" when
    // vsktool refused. The description's files are not used: the tree has them.
    std::string build(const package_spec& spec, const std::string& tree,
                      const std::vector<std::string>& extra = {}) {
        const std::string out = next_file(spec.name + "-" + version_text(spec.version) + "-" +
                                          std::to_string(spec.revision));
        std::vector<std::string> args{bin("vsktool"), "build", "--owner-root"};
        const std::vector<std::string> options = builder::vsktool_options(spec);
        args.insert(args.end(), options.begin(), options.end());
        if (spec.oninstall) {
            const std::string script = next_file("oninstall");
            spill(script, *spec.oninstall);
            args.insert(args.end(), {"--oninstall", script});
        }
        if (spec.onuninstall) {
            const std::string script = next_file("onuninstall");
            spill(script, *spec.onuninstall);
            args.insert(args.end(), {"--onuninstall", script});
        }
        args.insert(args.end(), extra.begin(), extra.end());
        args.insert(args.end(), {tree, out});
        std::string err;
        const int status = run_tool(args, &err);
        EXPECT_EQ(status, 0) << "vsktool build: " << err;
        return status == 0 ? out : std::string();
    }

    // The package made by vsktool from a tree that holds the description's files
    // (and, as on any disk, their parent directories).
    std::string package(const package_spec& spec) {
        const std::string t = tree(spec.name);
        for (const entry_spec& f : spec.files) {
            const std::string full = t + (f.name[0] == '/' ? "" : "/") + f.name;
            std::filesystem::create_directories(std::filesystem::path(full).parent_path());
            const mode_t mode = f.mode & 07777;
            if ((f.mode & 0xf000) == builder::directory("").mode) {
                std::filesystem::create_directories(full);
                chmod(full.c_str(), mode);
            } else if ((f.mode & 0xf000) == builder::symlink("", "").mode) {
                std::filesystem::create_symlink(f.data, full);
            } else {
                spill(full, f.data);
                chmod(full.c_str(), mode);
            }
        }
        return build(spec, t);
    }

    // The package written by the test's own package writer: also what
    // vsktool refuses to make.
    std::string written(const package_spec& spec) {
        const std::string out = next_file("written-" + spec.name);
        EXPECT_TRUE(builder::write_package(out, spec)) << spec.name;
        return out;
    }
    std::string written(const bundle_spec& spec) {
        const std::string out = next_file("written-bundle-" + spec.name);
        EXPECT_TRUE(builder::write_bundle(out, spec)) << spec.name;
        return out;
    }

    std::string bundle(const std::string& name, std::uint32_t version,
                       const std::vector<std::string>& members,
                       const std::vector<std::string>& disabled = {}) {
        const std::string out = next_file("bundle-" + name + "-" + version_text(version));
        std::vector<std::string> args{bin("vsktool"), "bundle",    "--name",
                                      name,           "--version", version_text(version)};
        for (const std::string& d : disabled) args.insert(args.end(), {"--disabled", d});
        args.push_back(out);
        args.insert(args.end(), members.begin(), members.end());
        std::string err;
        const int status = run_tool(args, &err);
        EXPECT_EQ(status, 0) << "vsktool bundle: " << err;
        return status == 0 ? out : std::string();
    }

    // A file made of raw container bytes.
    std::string raw(const std::string& label, const std::string& bytes) {
        const std::string out = next_file("raw-" + label);
        spill(out, bytes);
        return out;
    }

private:
    // A fresh file name in the workshop; no "/" from a package name in it.
    std::string next_file(std::string label) {
        for (char& c : label) {
            if (c == '/') c = '_';
        }
        return dir_ + "/" + label + "-" + std::to_string(++serial_) + ".vsk";
    }

    std::string dir_;
    int serial_ = 0;
};

// Version numbers as the container stores them.
constexpr std::uint32_t version_number(unsigned major, unsigned minor, unsigned number = 0,
                                       char stage = 'f') {
    return builder::version(major, minor, number, stage);
}

class installer_test : public ::testing::Test {
public:
    explicit installer_test(std::size_t fs_bytes = 256u << 20) : fs_bytes_(fs_bytes) {}

    void SetUp() override {
        const std::string reason = sandbox::unavailable_reason();
        if (!reason.empty()) GTEST_SKIP() << reason;
        if (access(bin("installer").c_str(), X_OK) != 0 ||
            access(bin("vsktool").c_str(), X_OK) != 0) {
            GTEST_SKIP() << "installer and vsktool are not built";
        }
        box_ = std::make_unique<sandbox::scratch_root>(TARNVALE_BIN_DIR, fs_bytes_);
        if (!box_->ready()) GTEST_SKIP() << box_->failure();
        // The installed system's shell profile, which every package script
        // sources before its own text.
        write("/vesk/lib/install/profile.sh", "MARKS=/tmp/marks\n");
    }

    sandbox::scratch_root& box() { return *box_; }
    std::string path(const std::string& inside) const { return box_->path(inside); }

    // A package or bundle written by the test's package writer; the file on
    // the host, for install().
    std::string package(const package_spec& p) { return shop_.written(p); }
    std::string bundle(const bundle_spec& b) { return shop_.written(b); }
    // Installs quietly what a test only needs in place.
    void given_installed(const package_spec& p) {
        const sandbox::result r = install(package(p), {"-q"});
        ASSERT_EQ(r.status, 0) << p.name << ": " << r.out << r.err;
    }

    // installer -r ROOT [args...] PACKAGE, the package copied into the root.
    sandbox::result install(const std::string& package, const std::vector<std::string>& args = {}) {
        const std::string inside = "/pkg/" + std::filesystem::path(package).filename().string();
        std::filesystem::create_directories(box_->path("/pkg"));
        std::filesystem::copy_file(package, box_->path(inside),
                                   std::filesystem::copy_options::overwrite_existing);
        std::vector<std::string> all(args);
        all.push_back(inside);
        sandbox::result r = box_->run(all);
        std::filesystem::remove(box_->path(inside));
        return r;
    }

    // installer -r ROOT [args...] - with the package on standard input.
    sandbox::result install_stdin(const std::string& package, bool as_pipe,
                                  const std::vector<std::string>& args = {}) {
        sandbox::run_options options;
        options.stdin_path = package;
        options.stdin_as_pipe = as_pipe;
        std::vector<std::string> all(args);
        all.push_back("-");
        return box_->run(all, options);
    }

    sandbox::result run(const std::vector<std::string>& args, int timeout_ms = 30000) {
        sandbox::run_options options;
        options.timeout_ms = timeout_ms;
        return box_->run(args, options);
    }

    std::string read(const std::string& inside) { return slurp(box_->path(inside)); }
    void write(const std::string& inside, const std::string& text) {
        std::filesystem::create_directories(
            std::filesystem::path(box_->path(inside)).parent_path());
        ASSERT_TRUE(spill(box_->path(inside), text)) << inside;
    }
    bool exists(const std::string& inside) {
        struct stat st;
        return lstat(box_->path(inside).c_str(), &st) == 0;
    }
    struct stat status_of(const std::string& inside) {
        struct stat st {};
        EXPECT_EQ(lstat(box_->path(inside).c_str(), &st), 0) << inside;
        return st;
    }

    // Names of the entries of the package database.
    std::set<std::string> entries() {
        std::set<std::string> names;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(box_->path("/var/pdb"), ec)) {
            names.insert(e.path().filename().string());
        }
        return names;
    }
    std::set<std::string> files_of(const std::string& name) {
        std::set<std::string> lines;
        std::istringstream in(read("/var/pdb/" + name + "/files"));
        for (std::string line; std::getline(in, line);) lines.insert(line);
        return lines;
    }
    void schedule(const std::string& name, const std::string& action) {
        write("/var/pdb/" + name + "/schedule", action);
    }

    // Every entry of the database is whole: "version" and "files" (or it is
    // a bundle with members), and each listed file exists.
    void expect_consistent_database() {
        for (const std::string& name : entries()) {
            SCOPED_TRACE("entry " + name);
            EXPECT_TRUE(exists("/var/pdb/" + name + "/version"));
            if (!exists("/var/pdb/" + name + "/files")) continue;
            for (const std::string& f : files_of(name)) EXPECT_TRUE(exists("/" + f)) << f;
        }
    }

    std::unique_ptr<sandbox::scratch_root> box_;
    workshop shop_;
    std::size_t fs_bytes_;
};

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

// True when the console shows the line (ignoring progress redrawing).
inline bool shows(const sandbox::result& r, const std::string& line) {
    for (const std::string& l : console_lines(r.out)) {
        if (l == line) return true;
    }
    return false;
}

// The entries with a directory entry for every ancestor in front, as a
// package builder puts them: the installer creates no parents of its own.
inline std::vector<entry_spec> with_directories(std::vector<entry_spec> files) {
    std::set<std::string> directories;
    for (const entry_spec& f : files) {
        std::string name = f.name[0] == '/' ? f.name : "/" + f.name;
        for (std::size_t slash = name.find('/', 1); slash != std::string::npos;
             slash = name.find('/', slash + 1)) {
            directories.insert(name.substr(0, slash));
        }
    }
    std::vector<entry_spec> all;
    for (const std::string& d : directories) all.push_back(builder::directory(d));
    all.insert(all.end(), files.begin(), files.end());
    return all;
}

}  // namespace system_test
