// The old configuration held in memory across the reformatting: what comes
// back, how the chain of chunks is sealed, and the captures and restores
// that must fail.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bootsetup/tree_archive.h"
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
    for (const char* name : {"big", "empty", "deep/er/tool", "deep/er", "deep", ""}) set_times(store / name, when += 1000);
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
