#include "base/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int exit_code(int status) {
    return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class process_test : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/process_test.XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
    }
    void TearDown() override {
        set_program_prefix("");
        const std::string command = "rm -rf " + dir;
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    int run(program_start start) {
        const pid_t child = start_program(start);
        return child < 0 ? -1 : wait_child(child);
    }

    std::string dir;
};

TEST_F(process_test, a_program_that_cannot_start_ends_with_127) {
    const char* const shell[] = {"sh", "-c", "exit 5", nullptr};
    const struct {
        const char* label;
        const char* path;
        std::string root;
        int code;
    } cases[] = {
        {"runs", "/bin/sh", "", 5},
        {"no such program", "/no/such/program", "", 127},
        {"no such root", "/bin/sh", dir + "/no-root", 127},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        program_start start;
        start.path = c.path;
        start.arguments = shell;
        if (!c.root.empty()) start.root = c.root.c_str();
        EXPECT_EQ(exit_code(run(start)), c.code);
    }
}

TEST_F(process_test, the_standard_descriptors_are_given_kept_or_closed) {
    const std::string in_path = dir + "/in";
    const std::string out_path = dir + "/out";
    std::ofstream(in_path) << "from the file\n";
    const int input = open(in_path.c_str(), O_RDONLY | O_CLOEXEC);
    const int output = open(out_path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(input, 0);
    ASSERT_GE(output, 0);
    // The shell reports what it could write to standard error through the
    // exit status, since that stream may be gone.
    const char* const shell[] = {"sh", "-c", "cat; echo err >&2 || exit 9; ls /proc/self/fd",
                                 nullptr};
    program_start start;
    start.path = "/bin/sh";
    start.arguments = shell;
    start.input = input;
    start.output = output;
    start.errors = output;
    start.close_others = true;
    // A descriptor the child would otherwise inherit.
    const int stray = open("/dev/null", O_RDONLY);
    EXPECT_EQ(exit_code(run(start)), 0);
    close(stray);
    // 0, 1, 2 and the descriptor ls opens for the listing.
    EXPECT_EQ(slurp(out_path), "from the file\nerr\n0\n1\n2\n3\n");

    ASSERT_EQ(ftruncate(output, 0), 0);
    ASSERT_EQ(lseek(output, 0, SEEK_SET), 0);
    ASSERT_EQ(lseek(input, 0, SEEK_SET), 0);
    start.errors = closed_descriptor;
    EXPECT_EQ(exit_code(run(start)), 9);
    EXPECT_EQ(slurp(out_path), "from the file\n");
    close(input);
    close(output);
}

TEST_F(process_test, the_test_prefix_changes_the_path_but_not_argument_zero) {
    ASSERT_EQ(mkdir((dir + "/bin").c_str(), 0755), 0);
    ASSERT_EQ(symlink("/bin/sh", (dir + "/bin/tool").c_str()), 0);
    set_program_prefix(dir.c_str());
    const std::string script = "test \"$0\" = /bin/tool";
    const char* const arguments[] = {"/bin/tool", "-c", script.c_str(), nullptr};
    program_start start;
    start.path = "/bin/tool";
    start.arguments = arguments;
    EXPECT_EQ(exit_code(run(start)), 0);
}

TEST(wait_child, goes_on_waiting_after_signals) {
    struct sigaction action = {}, saved = {};
    action.sa_handler = [](int) {};
    sigemptyset(&action.sa_mask);
    sigaction(SIGALRM, &action, &saved);
    const char* const arguments[] = {"sh", "-c", "sleep 0.3; exit 3", nullptr};
    program_start start;
    start.path = "/bin/sh";
    start.arguments = arguments;
    const pid_t child = start_program(start);
    ASSERT_GT(child, 0);
    const itimerval timer = {{0, 20000}, {0, 20000}};
    setitimer(ITIMER_REAL, &timer, nullptr);
    const int status = wait_child(child);
    const itimerval off = {};
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &saved, nullptr);
    EXPECT_EQ(exit_code(status), 3);
    errno = 0;
    EXPECT_EQ(wait_child(child), -1);
    EXPECT_EQ(errno, ECHILD);
}

}  // namespace
