#include "base/posix_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// A timer whose SIGALRM interrupts blocked calls (no SA_RESTART) every
// interval, for as long as the object lives.
class interrupting_timer {
public:
    explicit interrupting_timer(long interval_us) {
        struct sigaction action = {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        sigaction(SIGALRM, &action, &saved_);
        const itimerval timer = {{0, interval_us}, {0, interval_us}};
        setitimer(ITIMER_REAL, &timer, nullptr);
    }
    ~interrupting_timer() {
        const itimerval off = {};
        setitimer(ITIMER_REAL, &off, nullptr);
        sigaction(SIGALRM, &saved_, nullptr);
    }

private:
    struct sigaction saved_ = {};
};

std::string pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
    return bytes;
}

// A child that writes bytes to the pipe in small pieces, slowly enough that
// the parent blocks and the timer lands in its reads.
pid_t slow_writer(int end, const std::string& bytes) {
    const pid_t child = fork();
    if (child == 0) {
        for (std::size_t done = 0; done < bytes.size(); done += 1000) {
            usleep(2000);
            const std::size_t piece = std::min<std::size_t>(1000, bytes.size() - done);
            if (write(end, bytes.data() + done, piece) != static_cast<ssize_t>(piece)) _exit(1);
        }
        _exit(0);
    }
    return child;
}

TEST(read_all, reads_across_signals_up_to_the_size_or_the_end) {
    const std::string bytes = pattern(50000);
    const struct {
        std::size_t size;
        std::size_t expected;
    } cases[] = {{20000, 20000}, {50000, 50000}, {80000, 50000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        const pid_t child = slow_writer(ends[1], bytes);
        close(ends[1]);
        std::string got(c.size, '\0');
        ssize_t count;
        {
            interrupting_timer timer(700);
            count = read_all(ends[0], got.data(), got.size());
        }
        close(ends[0]);
        int status;
        waitpid(child, &status, 0);
        ASSERT_EQ(count, static_cast<ssize_t>(c.expected));
        EXPECT_EQ(got.substr(0, c.expected), bytes.substr(0, c.expected));
    }
}

TEST(read_all, gives_minus_one_for_a_descriptor_it_cannot_read) {
    char byte;
    errno = 0;
    EXPECT_EQ(read_all(-1, &byte, 1), -1);
    EXPECT_EQ(errno, EBADF);
}

// A write bigger than the pipe holds blocks; a signal then ends it early
// with a short count, and write_all must go on from there.
TEST(write_all, goes_on_after_short_writes_and_signals_on_a_pipe) {
    const std::string bytes = pattern(4 << 20);
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    char seen_path[] = "/tmp/write_all_test.XXXXXX";
    const int seen = mkstemp(seen_path);
    ASSERT_GE(seen, 0);
    const pid_t child = fork();
    if (child == 0) {
        close(ends[1]);
        char piece[3000];
        for (;;) {
            usleep(50);
            const ssize_t got = read(ends[0], piece, sizeof piece);
            if (got <= 0) _exit(got == 0 ? 0 : 1);
            if (write(seen, piece, got) != got) _exit(1);
        }
    }
    close(ends[0]);
    bool written;
    {
        interrupting_timer timer(1000);
        written = write_all(ends[1], bytes.data(), bytes.size());
    }
    close(ends[1]);
    int status;
    waitpid(child, &status, 0);
    close(seen);
    EXPECT_TRUE(written);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(slurp(seen_path) == bytes);
    unlink(seen_path);
}

TEST(write_all, is_false_when_the_file_takes_no_more) {
    const int full = open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    errno = 0;
    EXPECT_FALSE(write_all(full, "x", 1));
    EXPECT_EQ(errno, ENOSPC);
    close(full);
}

class replacement_file_test : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/replacement_file_test.XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
        path = dir + "/db";
        partial = path + ".partial";
        std::ofstream(path) << "old contents";
    }
    void TearDown() override {
        unlink(partial.c_str());
        unlink(path.c_str());
        rmdir(dir.c_str());
    }
    std::string dir;
    std::string path;
    std::string partial;
};

TEST_F(replacement_file_test, a_whole_write_replaces_the_file_with_its_mode) {
    const byte_string bytes("new\0contents", 12);
    ASSERT_TRUE(write_file_whole(path.c_str(), bytes, 0640));
    EXPECT_EQ(slurp(path), std::string("new\0contents", 12));
    EXPECT_FALSE(exists(partial));
    unlink(path.c_str());
    ASSERT_TRUE(write_file_whole(path.c_str(), byte_string(), 0640));
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_size, 0);
}

// The file size limit makes the write fail half way, as a full disk would.
TEST_F(replacement_file_test, a_failed_write_leaves_the_old_file_and_no_partial_one) {
    struct sigaction ignore = {}, saved = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &saved);
    rlimit old_limit;
    getrlimit(RLIMIT_FSIZE, &old_limit);
    rlimit limit = old_limit;
    limit.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &limit);
    errno = 0;
    const bool written = write_file_whole(path.c_str(), byte_string(10000, 'n'), 0644);
    const int reason = errno;
    setrlimit(RLIMIT_FSIZE, &old_limit);
    sigaction(SIGXFSZ, &saved, nullptr);
    EXPECT_FALSE(written);
    EXPECT_EQ(reason, EFBIG);
    EXPECT_EQ(slurp(path), "old contents");
    EXPECT_FALSE(exists(partial));
}

TEST_F(replacement_file_test, a_streaming_writer_commits_or_discards) {
    {
        replacement_file file(path.c_str());
        ASSERT_TRUE(file.create(0644));
        ASSERT_TRUE(write_all(file.descriptor(), "half", 4));
        // Nothing shows under the final name before the commit.
        EXPECT_EQ(slurp(path), "old contents");
        EXPECT_EQ(slurp(file.partial_path()), "half");
    }
    EXPECT_EQ(slurp(path), "old contents");
    EXPECT_FALSE(exists(partial));

    replacement_file file(path.c_str());
    ASSERT_TRUE(file.create(0644));
    ASSERT_TRUE(write_all(file.descriptor(), "whole", 5));
    ASSERT_TRUE(file.commit());
    EXPECT_EQ(slurp(path), "whole");
    EXPECT_FALSE(exists(partial));
}

TEST_F(replacement_file_test, a_writer_of_its_own_is_renamed_on_commit) {
    replacement_file file(path.c_str());
    std::ofstream(file.partial_path()) << "written elsewhere";
    ASSERT_TRUE(file.commit());
    EXPECT_EQ(slurp(path), "written elsewhere");
}

TEST_F(replacement_file_test, a_failed_rename_removes_the_partial_file) {
    rmdir((dir + "/sub").c_str());
    ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0755), 0);
    std::ofstream((dir + "/sub/keep").c_str()) << "x";
    // A directory that is not empty cannot be replaced by a file.
    replacement_file file((dir + "/sub").c_str());
    ASSERT_TRUE(file.create(0644));
    errno = 0;
    EXPECT_FALSE(file.commit());
    EXPECT_EQ(errno, EISDIR);
    EXPECT_FALSE(exists(dir + "/sub.partial"));
    unlink((dir + "/sub/keep").c_str());
    rmdir((dir + "/sub").c_str());
}

}  // namespace
