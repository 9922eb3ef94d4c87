#pragma once

// Installation media and disk checks for the bootsetup system tests.
//
// The sample packages are made with the real vsktool. "system" carries a
// static bash as "/bin/bash" (package scripts and the post-install script run
// inside the new root, which has no libraries), an "/sbin/fsck" that prints
// how it was called (its output lands on the hidden console) and an
// "/etc/rc.d/rc.postinstall" that leaves "/var/postinstall.done", and the
// "/dev/null" and profile that package scripts need. Every
// package's install script appends the package's name to
// "/var/install-order", so the order of installation can be read on the disk.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/package_builder.h"
#include "tests/system/bootsetup_sandbox.h"

namespace bootsetup_test {

namespace fs = std::filesystem;
using bootsetup_sandbox::geometry;
using bootsetup_sandbox::loop_disk;
using bootsetup_sandbox::machine;
using bootsetup_sandbox::shell;

using test_files::slurp;

inline void put(const fs::path& file, const std::string& text, unsigned mode = 0644) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
    chmod(file.c_str(), mode);
}

inline std::string quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

using builder::package_spec;
using builder::version;

// Builds NAME-VERSION.vsk into OUT from a small tree of its own, for i386.
inline void build_package(const fs::path& work, const package_spec& spec, const fs::path& out) {
    const std::string version = builder::version_text(spec.version);
    fs::path tree = work / ("tree-" + spec.name);
    fs::create_directories(tree / "usr/share" / spec.name);
    put(tree / "usr/share" / spec.name / "README", spec.name + " " + version + "\n");
    if (spec.name == "system") {
        fs::create_directories(tree / "bin");
        fs::copy_file("/bin/bash-static", tree / "bin/bash", fs::copy_options::overwrite_existing);
        put(tree / "sbin/fsck", "#!/bin/bash\necho \"fsck called: $*\"\n", 0755);
        put(tree / "vesk/lib/install/profile.sh", "");
        fs::create_directories(tree / "dev");
        ASSERT_EQ(mknod((tree / "dev/null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
        put(tree / "etc/rc.d/rc.postinstall",
            "#!/bin/bash\necho \"postinstall ran\" >/var/postinstall.done\n", 0755);
    }
    fs::path script = work / ("oninstall-" + spec.name);
    put(script, "echo " + spec.name + " >>/var/install-order\n", 0755);
    package_spec i386 = spec;
    i386.architecture = "i386";
    std::string command = std::string(TARNVALE_BIN_DIR) +
                          "/vsktool build --owner-root --oninstall " + quote(script.string());
    for (const std::string& option : builder::vsktool_options(i386)) command += " " + quote(option);
    command += " " + quote(tree.string()) + " " +
               quote((out / (spec.name + "-" + version + ".vsk")).string());
    std::string output;
    ASSERT_EQ(shell(command + " 2>&1", &output), 0) << output;
}

// A package of the media; its files and script are build_package's.
inline package_spec media_package(const std::string& name, std::uint32_t number,
                                  const std::vector<builder::relation_spec>& depends = {},
                                  const std::string& description = "") {
    return package_spec{
        .name = name, .version = number, .depends = depends, .description = description};
}

// The packages of most scenarios: names that show the menu's display order
// ("system", "ppp", "dhcp" first, then by name) and a chain of dependencies.
inline std::vector<package_spec> sample_packages() {
    const auto sample = media_package;
    return {
        sample("webui", version(1, 0), {{"httpd"}}, "Web pages for managing the router"),
        sample("alpha", version(0, 9), {}, ""),
        sample("dhcp", version(3, 0), {{"system"}}, "Address server"),
        sample("httpd", version(2, 2), {{"system"}}, "Small web server"),
        sample("system", version(1, 0), {}, "The base system"),
        sample("ppp", version(2, 4), {{"system"}}, "Point-to-point links"),
    };
}

inline void build_media(const fs::path& work, const fs::path& out,
                        const std::vector<package_spec>& specs) {
    fs::create_directories(out);
    for (const package_spec& spec : specs) build_package(work, spec, out);
}

// The disk after the machine has ended: its table as util-linux reads it,
// and a copy of each file system.
struct disk_contents {
    std::string table;
    std::map<int, fs::path> trees;           // partition number to its copy
    std::map<int, std::string> superblocks;  // dumpe2fs -h
};

inline disk_contents read_disk(const loop_disk& disk, const fs::path& work) {
    disk_contents contents;
    EXPECT_TRUE(disk.rescan());
    EXPECT_EQ(shell("sfdisk -d " + disk.device() + " 2>&1", &contents.table), 0);
    for (int n = 1; n <= 4; ++n) {
        std::string device = disk.partition(n);
        if (device.empty()) continue;
        fs::path copy = work / ("partition" + std::to_string(n));
        fs::remove_all(copy);
        EXPECT_TRUE(bootsetup_sandbox::extract_file_system(device, copy.string())) << device;
        contents.trees[n] = copy;
        std::string check;
        EXPECT_EQ(shell("e2fsck -fn " + device + " 2>&1", &check), 0) << check;
        shell("dumpe2fs -h " + device + " 2>/dev/null", &contents.superblocks[n]);
    }
    return contents;
}

inline bool has_journal(const std::string& superblock) {
    return superblock.find("has_journal") != std::string::npos;
}

// "start= S, size= N" of partition n in a dump of util-linux sfdisk.
inline std::string table_entry(const std::string& table, const loop_disk& disk, int n) {
    std::string prefix = disk.device() + "p" + std::to_string(n) + " : ";
    std::size_t at = table.find(prefix);
    if (at == std::string::npos) return "";
    std::size_t end = table.find('\n', at);
    std::string line = table.substr(at + prefix.size(), end - at - prefix.size());
    std::string squeezed;
    for (char c : line)
        if (c != ' ') squeezed += c;
    return squeezed;
}

inline std::string sector_zero(const loop_disk& disk) {
    return slurp(disk.image()).substr(0, 512);
}

// A file system with an old system on partition 1 of the disk, made from
// TREE with its owners, modes and times.
inline void install_old_system(const loop_disk& disk, const fs::path& tree) {
    unsigned cylinder = disk.shape().heads * disk.shape().sectors;
    std::string table = "start=" + std::to_string(disk.shape().sectors) + ", size=" +
                        std::to_string(disk.shape().cylinders * cylinder - disk.shape().sectors) +
                        ", type=83, bootable\n";
    ASSERT_TRUE(disk.write_table(table));
    std::string device = disk.partition(1);
    ASSERT_FALSE(device.empty());
    std::string out;
    ASSERT_EQ(shell("mke2fs -q -j " + device + " 2>&1", &out), 0) << out;
    std::string script = "mount --make-rprivate / && d=$(mktemp -d) && mount " + device +
                         " \"$d\" && { cp -a " + quote(tree.string()) +
                         "/. \"$d\"; rc=$?; umount \"$d\"; rmdir \"$d\"; exit $rc; }";
    ASSERT_EQ(shell("unshare -m sh -c " + quote(script) + " 2>&1", &out), 0) << out;
}

struct file_facts {
    unsigned mode = 0;
    unsigned uid = 0;
    unsigned gid = 0;
    long long mtime = 0;
    long long atime = 0;
    bool exists = false;
    bool symlink = false;
};

inline file_facts facts(const fs::path& path) {
    file_facts f;
    struct stat status;
    if (lstat(path.c_str(), &status) != 0) return f;
    f.exists = true;
    f.symlink = S_ISLNK(status.st_mode);
    f.mode = status.st_mode & 07777;
    f.uid = status.st_uid;
    f.gid = status.st_gid;
    f.mtime = status.st_mtime;
    f.atime = status.st_atime;
    return f;
}

}  // namespace bootsetup_test
