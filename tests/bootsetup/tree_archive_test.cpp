// The old configuration held in memory across the reformatting: what comes
// back, how the chain of chunks is sealed, the captures and restores that
// must fail, and a restore where owners cannot be set.

#include "bootsetup/tree_archive.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/files.h"

namespace {

namespace fs = std::filesystem;

struct scratch_dir {
    scratch_dir() {
        char pattern[] = "/tmp/tree-archive-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~scratch_dir() { fs::remove_all(path); }
    fs::path path;
};

void put(const fs::path& file, const std::string& text, unsigned mode) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
    chmod(file.c_str(), mode);
}

using test_files::slurp;

struct stat status_of(const fs::path& path) {
    struct stat s {};
    lstat(path.c_str(), &s);
    return s;
}

void set_times(const fs::path& path, long seconds) {
    const timespec times[2] = {{seconds, 0}, {seconds + 60, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

TEST(tree_archive, tree_comes_back_with_contents_modes_owners_and_times) {
    scratch_dir scratch;
    fs::path store = scratch.path / "store";
    std::string big(40000, 'x');
    for (std::size_t i = 0; i < big.size(); i += 7) big[i] = static_cast<char>('a' + i % 26);
    put(store / "big", big, 0640);
    put(store / "empty", "", 0600);
    put(store / "deep/er/tool", "#!/bin/bash\n", 06755);
    fs::create_symlink("big", store / "link");
    bool as_root = geteuid() == 0;
    if (as_root) {
        ASSERT_EQ(lchown((store / "deep/er/tool").c_str(), 101, 202), 0);
        ASSERT_EQ(chmod((store / "deep/er/tool").c_str(), 06755), 0);
        ASSERT_EQ(lchown((store / "deep").c_str(), 303, 404), 0);
    }
    chmod((store / "deep").c_str(), 0750);
    long when = 1100000000;
    for (const char* name : {"big", "empty", "deep/er/tool", "deep/er", "deep", ""})
        set_times(store / name, when += 1000);
    const char* const names[] = {"", "big", "empty", "deep", "deep/er", "deep/er/tool"};
    struct stat before[6];
    for (int i = 0; i < 6; ++i) before[i] = status_of(store / names[i]);

    archive_chunk* archive = capture_tree(store.c_str());
    ASSERT_NE(archive, nullptr);
    // Sealed chunks: every one marked, none holding more than it was made
    // for, and the whole a bit more than the file contents.
    std::size_t total = 0;
    for (archive_chunk* chunk = archive; chunk != nullptr; chunk = chunk->next) {
        EXPECT_EQ(chunk->marker, archive_marker);
        EXPECT_EQ(chunk->position, 0u);
        EXPECT_LE(chunk->capacity, archive_chunk_bytes);
        total += chunk->capacity;
    }
    EXPECT_GT(total, big.size() + 12);

    fs::remove_all(store);
    ASSERT_TRUE(restore_tree(archive));
    EXPECT_FALSE(fs::exists(fs::symlink_status(store / "link")));
    for (int i = 0; i < 6; ++i) {
        struct stat after = status_of(store / names[i]);
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(after.st_mode, before[i].st_mode);
        EXPECT_EQ(after.st_mtime, before[i].st_mtime);
        EXPECT_EQ(after.st_atime, before[i].st_atime);
        if (as_root) {
            EXPECT_EQ(after.st_uid, before[i].st_uid);
            EXPECT_EQ(after.st_gid, before[i].st_gid);
        }
    }
    // Read last: reading changes the access times.
    EXPECT_EQ(slurp(store / "big"), big);
    EXPECT_EQ(slurp(store / "empty"), "");
}

// A chain of directories with one long-named entry each, so the capture
// order is fixed: the paths grow until one no longer fits the room left in
// its chunk. It then gets a chunk of exactly its own length, and its status
// record starts a fresh 16000-byte chunk.
TEST(tree_archive, a_path_that_does_not_fit_gets_a_chunk_of_its_own) {
    scratch_dir scratch;
    const std::string name(250, 'n');
    std::vector<std::string> paths{(scratch.path / "store").string()};
    while (paths.back().size() + name.size() + 1 < 3000) paths.push_back(paths.back() + "/" + name);
    fs::create_directories(paths.back());

    // The chunk sizes the rule gives, worked out apart from the code.
    std::vector<std::uint32_t> expected;
    std::uint32_t size = archive_chunk_bytes;
    std::uint32_t used = 0;
    bool split = false;
    for (const std::string& path : paths) {
        const std::uint32_t path_bytes = static_cast<std::uint32_t>(path.size() + 1);
        if (path_bytes > size - used) {
            expected.push_back(used);
            expected.push_back(path_bytes);
            size = archive_chunk_bytes;
            used = 0;
            split = true;
        } else {
            used += path_bytes;
        }
        std::uint32_t status_bytes = sizeof(struct stat);
        while (status_bytes > 0) {
            if (used == size) {
                expected.push_back(used);
                size = archive_chunk_bytes;
                used = 0;
            }
            const std::uint32_t step = std::min(status_bytes, size - used);
            used += step;
            status_bytes -= step;
        }
    }
    expected.push_back(used);
    ASSERT_TRUE(split) << "the fixture must make one path overflow its chunk";

    archive_chunk* archive = capture_tree(paths.front().c_str());
    ASSERT_NE(archive, nullptr);
    std::vector<std::uint32_t> sizes;
    for (archive_chunk* chunk = archive; chunk != nullptr; chunk = chunk->next) {
        sizes.push_back(chunk->capacity);
    }
    EXPECT_EQ(sizes, expected);

    fs::remove_all(paths.front());
    ASSERT_TRUE(restore_tree(archive));
    EXPECT_TRUE(fs::is_directory(paths.back()));
}

bool write_proc_file(const char* path, const std::string& text) {
    const int file = open(path, O_WRONLY);
    if (file < 0) return false;
    const bool written = write(file, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(file);
    return written;
}

// A user namespace in which this process's user and group are the only ids
// and appear one higher, so that chown to any owner a file had outside it,
// this process's own included, fails while files stay writable.
bool enter_namespace_without_owners() {
    const uid_t uid = geteuid();
    const gid_t gid = getegid();
    if (unshare(CLONE_NEWUSER) != 0) return false;
    return write_proc_file("/proc/self/uid_map",
                           std::to_string(uid + 1) + " " + std::to_string(uid) + " 1\n") &&
           write_proc_file("/proc/self/setgroups", "deny") &&
           write_proc_file("/proc/self/gid_map",
                           std::to_string(gid + 1) + " " + std::to_string(gid) + " 1\n");
}

TEST(tree_archive, owners_that_cannot_be_set_do_not_stop_the_restore) {
    scratch_dir scratch;
    fs::path store = scratch.path / "store";
    put(store / "a", "first\n", 0640);
    put(store / "sub/tool", "#!/bin/bash\n", 04755);
    put(store / "sub/z", "last\n", 0604);
    chmod((store / "sub").c_str(), 0750);
    chmod(store.c_str(), 0755);
    long when = 1200000000;
    for (const char* name : {"a", "sub/tool", "sub/z", "sub", ""})
        set_times(store / name, when += 1000);
    archive_chunk* archive = capture_tree(store.c_str());
    ASSERT_NE(archive, nullptr);
    fs::remove_all(store);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (!enter_namespace_without_owners()) _exit(77);
        _exit(restore_tree(archive) ? 0 : 1);
    }
    free_archive(archive);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no user namespaces here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a failed chown or chmod ended the restore";

    const struct {
        const char* name;
        unsigned mode;
        long mtime;
    } expected[] = {
        {"a", 0640, 1200001060},
        // Not owned by its old owner, so not set-user-ID any more.
        {"sub/tool", 0755, 1200002060},
        {"sub/z", 0604, 1200003060},
        {"sub", 0750, 1200004060},
        {"", 0755, 1200005060},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.name);
        struct stat after = status_of(store / e.name);
        EXPECT_EQ(after.st_mode & 07777, e.mode);
        EXPECT_EQ(after.st_mtime, e.mtime);
    }
    EXPECT_EQ(slurp(store / "a"), "first\n");
    EXPECT_EQ(slurp(store / "sub/z"), "last\n");
}

TEST(tree_archive, captures_and_restores_that_fail) {
    scratch_dir scratch;
    // A file that yields more than its status says (sizes of /proc files are
    // 0) is a file that changed while it was read.
    EXPECT_EQ(capture_tree("/proc/self/status"), nullptr);
    EXPECT_EQ(capture_tree((scratch.path / "missing").c_str()), nullptr);

    put(scratch.path / "store/a", "a\n", 0644);
    archive_chunk* archive = capture_tree((scratch.path / "store").c_str());
    ASSERT_NE(archive, nullptr);
    // An archive without its marker is not read and stays as it is.
    archive->marker = 0;
    EXPECT_FALSE(restore_tree(archive));
    EXPECT_EQ(archive->position, 0u);
    archive->marker = archive_marker;
    // The directory exists already: the restore stops at once.
    EXPECT_FALSE(restore_tree(archive));
    EXPECT_EQ(slurp(scratch.path / "store/a"), "a\n");
}

}  // namespace
