#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "package/format.h"
#include "package/version.h"
#include "tests/tools/vsktool_harness.h"

namespace {

using vsk::run;
using vsk::scratch_dir;

constexpr std::uint32_t base_time = 1000000000;

struct tree_item {
    const char* path;
    char kind;  // d directory, f file, l link, p FIFO, c/b device
    mode_t mode;
    std::string data;  // contents, or link target
    dev_t device = 0;
};

std::string pseudo_random(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t x = 2463534242u;
    for (char& c : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x);
    }
    return bytes;
}

// A small tree with one of every kind of file; devices and FIFOs only when
// running as root. Listed in the order a package must hold them.
std::vector<tree_item> fixture_items() {
    bool root = geteuid() == 0;
    std::vector<tree_item> items = {
        {"/bin", 'd', 0755, ""},
        {"/bin/run", 'l', 0777, "tool"},
        {"/bin/tool", 'f', 0755, pseudo_random(300 * 1024 + 17)},
    };
    if (root) {
        items.push_back({"/dev", 'd', 0755, ""});
        items.push_back({"/dev/hda1", 'b', 0660, "", makedev(3, 1)});
        items.push_back({"/dev/null", 'c', 0666, "", makedev(1, 3)});
        items.push_back({"/dev/xconsole", 'p', 0640, ""});
    }
    items.push_back({"/etc", 'd', 0755, ""});
    items.push_back({"/etc/empty", 'f', 0600, ""});
    items.push_back({"/etc/net", 'd', 0750, ""});
    items.push_back({"/etc/net/hosts", 'f', 0644, "127.0.0.1 localhost\n"});
    items.push_back({"/etc/net-local", 'f', 04755, "#!/bin/sh\n"});
    items.push_back({"/var", 'd', 01777, ""});
    return items;
}

mode_t type_bits(char kind) {
    switch (kind) {
        case 'd':
            return S_IFDIR;
        case 'l':
            return S_IFLNK;
        case 'p':
            return S_IFIFO;
        case 'c':
            return S_IFCHR;
        case 'b':
            return S_IFBLK;
        default:
            return S_IFREG;
    }
}

void make_item(const std::string& root, const tree_item& item) {
    std::string path = root + item.path;
    switch (item.kind) {
        case 'd':
            ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
            break;
        case 'l':
            ASSERT_EQ(symlink(item.data.c_str(), path.c_str()), 0);
            break;
        case 'p':
            ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
            break;
        case 'c':
        case 'b':
            ASSERT_EQ(mknod(path.c_str(), type_bits(item.kind) | 0600, item.device), 0);
            break;
        default:
            vsk::spill(path, item.data);
    }
    if (item.kind != 'l') {
        ASSERT_EQ(chmod(path.c_str(), item.mode), 0);
    }
}

// Times are set last, deepest first, so that making a file does not move
// its directory's time again.
void set_times(const std::string& root, const std::vector<tree_item>& items) {
    for (std::size_t i = items.size(); i-- > 0;) {
        struct timespec times[2] = {{base_time + static_cast<time_t>(i), 0},
                                    {base_time + static_cast<time_t>(i), 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, (root + items[i].path).c_str(), times, AT_SYMLINK_NOFOLLOW),
                  0);
    }
}

// Makes the tree; reversed makes the items in the opposite order, which
// changes what the directories list first.
void make_tree(const std::string& root, bool reversed = false) {
    ASSERT_EQ(mkdir(root.c_str(), 0755), 0);
    std::vector<tree_item> items = fixture_items();
    std::vector<tree_item> order = items;
    if (reversed) {
        // Parents still come first: sort by depth, deepest names reversed.
        std::stable_sort(order.begin(), order.end(), [](const tree_item& a, const tree_item& b) {
            auto depth = [](const char* p) { return std::count(p, p + std::strlen(p), '/'); };
            if (depth(a.path) != depth(b.path)) return depth(a.path) < depth(b.path);
            return std::strcmp(a.path, b.path) > 0;
        });
    }
    for (const tree_item& item : order) make_item(root, item);
    set_times(root, items);
}

TEST(vsktool_build, EntriesHoldTheTreeAsItIs) {
    scratch_dir scratch;
    make_tree(scratch / "tree");
    if (geteuid() == 0) {
        ASSERT_EQ(lchown((scratch / "tree/etc/net/hosts").c_str(), 1234, 567), 0);
    }
    vsk::run_result built = run(
        {"build", "--name", "netutils", "--version", "1.0", scratch / "tree", scratch / "net.vsk"});
    ASSERT_EQ(built.status, 0) << built.err;

    std::vector<vsk::entry> entries = vsk::package_entries(vsk::slurp(scratch / "net.vsk"));
    std::vector<tree_item> items = fixture_items();
    ASSERT_EQ(entries.size(), items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        const vsk::entry& e = entries[i];
        const tree_item& item = items[i];
        SCOPED_TRACE(item.path);
        EXPECT_EQ(e.name, item.path);
        EXPECT_EQ(e.mode, type_bits(item.kind) | item.mode);
        EXPECT_EQ(e.time, base_time + i);
        EXPECT_EQ(e.unused, std::string(14, '\0'));
        bool hosts = std::string(item.path) == "/etc/net/hosts" && geteuid() == 0;
        EXPECT_EQ(e.owner, hosts ? 1234u : geteuid());
        EXPECT_EQ(e.group, hosts ? 567u : getegid());
        if (item.kind == 'c' || item.kind == 'b') {
            ASSERT_EQ(e.data.size(), 4u);
            EXPECT_EQ(vsk::u32_at(e.data, 0), static_cast<std::uint32_t>(item.device));
        } else {
            EXPECT_EQ(e.data, item.data);
        }
    }
}

std::uint32_t version_of(const char* text) {
    std::uint32_t v = 0;
    EXPECT_TRUE(parse_version(text, &v)) << text;
    return v;
}

TEST(vsktool_build, HeaderAndDescribingPartsInTheirOrder) {
    scratch_dir scratch;
    ASSERT_EQ(mkdir((scratch / "tree").c_str(), 0755), 0);
    vsk::spill(scratch / "install.sh", "echo installed\n");
    vsk::spill(scratch / "remove.sh", "echo removed\n");
    vsk::run_result built = run({"build",
                                 "--name",
                                 "webadmin",
                                 "--version",
                                 "3.0rc3",
                                 "--revision",
                                 "7",
                                 "--arch",
                                 "i586",
                                 "--description",
                                 "Web administration",
                                 "--depends",
                                 "netutils:2.9.5:3.0",
                                 "--depends",
                                 "base-system",
                                 "--provides",
                                 "httpd::4.0:-2",
                                 "--conflicts",
                                 "oldfirewall",
                                 "--oninstall",
                                 scratch / "install.sh",
                                 "--onuninstall",
                                 scratch / "remove.sh",
                                 scratch / "tree",
                                 scratch / "web.vsk"});
    ASSERT_EQ(built.status, 0) << built.err;

    std::string bytes = vsk::slurp(scratch / "web.vsk");
    vsk::container c = vsk::parse_container(bytes);
    ASSERT_TRUE(c.whole);
    EXPECT_EQ(c.magic, magic_tracked);
    EXPECT_EQ(c.length, bytes.size() - 8);
    EXPECT_EQ(vsk::part_types(c), (std::vector<std::uint16_t>{1, 2, 16, 3, 19, 17, 7, 8, 4}));

    const std::string& header = c.parts[0].payload;
    ASSERT_EQ(header.size(), 32u);
    EXPECT_EQ(header.substr(0, 16), std::string("webadmin") + std::string(8, '\0'));
    EXPECT_EQ(vsk::u32_at(header, 16), make_version(3, 0, 'c', 3));
    EXPECT_EQ(vsk::u32_at(header, 20), 7u);
    EXPECT_EQ(header.substr(24), std::string(8, '\0'));
    EXPECT_EQ(c.parts[1].payload, "Web administration");
    EXPECT_EQ(c.parts[2].payload, "i586");
    EXPECT_EQ(c.parts[6].payload, "echo installed\n");
    EXPECT_EQ(c.parts[7].payload, "echo removed\n");

    struct expected_relation {
        std::size_t part;
        std::size_t index;
        const char* name;
        std::uint32_t min, max;
        std::int32_t priority;
    };
    const expected_relation relations[] = {
        {3, 0, "netutils", make_version(2, 9, 'f', 5), make_version(3, 0, 'f', 0), 0},
        {3, 1, "base-system", 0, 0, 0},
        {4, 0, "httpd", 0, make_version(4, 0, 'f', 0), -2},
        {5, 0, "oldfirewall", 0, 0, 0},
    };
    EXPECT_EQ(vsk::u16_at(c.parts[3].payload, 0), 2u);
    EXPECT_EQ(c.parts[3].payload.size(), 2u + 2 * 32);
    for (const expected_relation& r : relations) {
        std::string record = c.parts[r.part].payload.substr(2 + 32 * r.index, 32);
        SCOPED_TRACE(r.name);
        EXPECT_EQ(record.substr(0, 16),
                  std::string(r.name) + std::string(16 - std::strlen(r.name), '\0'));
        EXPECT_EQ(vsk::u32_at(record, 16), r.min);
        EXPECT_EQ(vsk::u32_at(record, 20), 0u);
        EXPECT_EQ(vsk::u32_at(record, 24), r.max);
        EXPECT_EQ(static_cast<std::int32_t>(vsk::u32_at(record, 28)), r.priority);
    }
    bool ok = false;
    EXPECT_EQ(vsk::inflate_all(c.parts[8].payload, &ok), "");
    EXPECT_TRUE(ok);
}

TEST(vsktool_build, OptionalPartsAndTheUntrackedMagic) {
    scratch_dir scratch;
    ASSERT_EQ(mkdir((scratch / "tree").c_str(), 0755), 0);
    struct case_row {
        std::vector<std::string> options;
        std::uint32_t magic;
    };
    const case_row cases[] = {
        {{}, magic_tracked},
        {{"--untracked"}, magic_untracked},
    };
    for (const case_row& row : cases) {
        std::vector<std::string> arguments = {"build", "--name", "0123456789abcdef", "--version",
                                              "2.9"};
        arguments.insert(arguments.end(), row.options.begin(), row.options.end());
        arguments.push_back(scratch / "tree");
        arguments.push_back(scratch / "p.vsk");
        vsk::run_result built = run(arguments);
        ASSERT_EQ(built.status, 0) << built.err;
        vsk::container c = vsk::parse_container(vsk::slurp(scratch / "p.vsk"));
        EXPECT_EQ(c.magic, row.magic);
        EXPECT_EQ(vsk::part_types(c), (std::vector<std::uint16_t>{1, 4}));
        // A 16-byte name fills its field without a terminator.
        EXPECT_EQ(c.parts[0].payload.substr(0, 16), "0123456789abcdef");
        EXPECT_EQ(vsk::u32_at(c.parts[0].payload, 16), make_version(2, 9, 'f', 0));
    }
}

TEST(vsktool_build, RelationOptionTexts) {
    scratch_dir scratch;
    ASSERT_EQ(mkdir((scratch / "tree").c_str(), 0755), 0);
    struct case_row {
        const char* spec;
        bool valid;
        const char* name;
        std::uint32_t min, max;
        std::int32_t priority;
    };
    const case_row cases[] = {
        {"netutils", true, "netutils", 0, 0, 0},
        {"netutils:2.9.5", true, "netutils", version_of("2.9.5"), 0, 0},
        {"netutils::3.0beta", true, "netutils", 0, version_of("3.0beta"), 0},
        {"mta:3.0alpha42:3.0rc3:5", true, "mta", version_of("3.0alpha42"), version_of("3.0rc3"), 5},
        {"mta:::-1", true, "mta", 0, 0, -1},
        {":1.0", false},
        {"netutils:one", false},
        {"netutils:2.0:1.0", false},
        {"netutils:::high", false},
        {"a:1.0:2.0:3:4", false},
        {"name-of-seventeen", false},
        {"two words", false},
    };
    for (const case_row& row : cases) {
        SCOPED_TRACE(row.spec);
        vsk::run_result built = run({"build", "--name", "p", "--version", "1.0", "--depends",
                                     row.spec, scratch / "tree", scratch / "p.vsk"});
        if (!row.valid) {
            EXPECT_EQ(built.status, 2);
            EXPECT_NE(built.err.find("usage: vsktool build"), std::string::npos) << built.err;
            continue;
        }
        ASSERT_EQ(built.status, 0) << built.err;
        vsk::container c = vsk::parse_container(vsk::slurp(scratch / "p.vsk"));
        const vsk::part* depends = vsk::find_part(c, 3);
        ASSERT_NE(depends, nullptr);
        ASSERT_EQ(depends->payload.size(), 34u);
        EXPECT_EQ(depends->payload.substr(2, std::strlen(row.name)), row.name);
        EXPECT_EQ(vsk::u32_at(depends->payload, 2 + 16), row.min);
        EXPECT_EQ(vsk::u32_at(depends->payload, 2 + 24), row.max);
        EXPECT_EQ(static_cast<std::int32_t>(vsk::u32_at(depends->payload, 2 + 28)), row.priority);
    }
}

TEST(vsktool_build, SameTreeGivesTheSameBytes) {
    scratch_dir scratch;
    make_tree(scratch / "a");
    make_tree(scratch / "b", true);
    const std::vector<std::string> options = {"build", "--name",       "same",   "--version",
                                              "1.0",   "--owner-root", "--time", "1234567890"};
    std::vector<std::string> outputs = {"a1.vsk", "a2.vsk", "b.vsk"};
    for (const std::string& output : outputs) {
        std::vector<std::string> arguments = options;
        arguments.push_back(scratch / (output[0] == 'a' ? "a" : "b"));
        arguments.push_back(scratch / output);
        vsk::run_result built = run(arguments);
        ASSERT_EQ(built.status, 0) << built.err;
    }
    std::string first = vsk::slurp(scratch / "a1.vsk");
    EXPECT_EQ(first, vsk::slurp(scratch / "a2.vsk"));
    EXPECT_EQ(first, vsk::slurp(scratch / "b.vsk"));
    for (const vsk::entry& e : vsk::package_entries(first)) {
        EXPECT_EQ(e.owner, 0u);
        EXPECT_EQ(e.group, 0u);
        EXPECT_EQ(e.time, 1234567890u);
    }
}

TEST(vsktool_build, PackageInsideItsTreeIsLeftOut) {
    scratch_dir scratch;
    make_tree(scratch / "tree");
    for (int round = 0; round < 2; ++round) {
        vsk::run_result built = run(
            {"build", "--name", "p", "--version", "1.0", scratch / "tree", scratch / "tree/p.vsk"});
        ASSERT_EQ(built.status, 0) << built.err;
    }
    for (const vsk::entry& e : vsk::package_entries(vsk::slurp(scratch / "tree/p.vsk"))) {
        EXPECT_EQ(e.name.find("/p.vsk"), std::string::npos);
    }
}

TEST(vsktool_build, FailedBuildKeepsTheOlderPackage) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to give a file a large owner";
    scratch_dir scratch;
    make_tree(scratch / "tree");
    vsk::spill(scratch / "p.vsk", "older package");
    ASSERT_EQ(lchown((scratch / "tree/etc/net/hosts").c_str(), 70000, 0), 0);

    vsk::run_result built =
        run({"build", "--name", "p", "--version", "1.0", scratch / "tree", scratch / "p.vsk"});
    EXPECT_EQ(built.status, 1);
    EXPECT_EQ(vsk::line_count(built.err), 1u) << built.err;
    EXPECT_NE(built.err.find("/etc/net/hosts: owner 70000:0"), std::string::npos) << built.err;
    EXPECT_EQ(vsk::slurp(scratch / "p.vsk"), "older package");
    EXPECT_NE(access((scratch / "p.vsk.partial").c_str(), F_OK), 0);

    built = run({"build", "--name", "p", "--version", "1.0", "--owner-root", scratch / "tree",
                 scratch / "p.vsk"});
    EXPECT_EQ(built.status, 0) << built.err;
}

}  // namespace
