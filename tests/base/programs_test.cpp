#include "base/programs.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "tests/disk/disk_fixture.h"

namespace {

// Runs the real shell; the fake tools are reached only after
// use_fake_tools().
class programs_test : public disk_test::scratch_fixture {
protected:
    void SetUp() override {
        scratch_fixture::SetUp();
        set_program_prefix("");
    }
    void use_fake_tools() { set_program_prefix((dir + "/tools").c_str()); }

    void TearDown() override {
        // A failed expectation must not leave a pipe child behind for the
        // next test.
        if (stream_ != nullptr) close_program(stream_);
        scratch_fixture::TearDown();
    }
    std::FILE* stream_ = nullptr;
};

int exit_code(int status) {
    return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(programs_test, run_program_waits_and_sends_output_to_the_log) {
    const struct {
        const char* script;
        int code;
        const char* log_text;
    } cases[] = {
        {"exit 0", 0, ""},
        {"exit 3", 3, ""},
        {"echo out; echo err >&2", 0, "out\nerr\n"},
        // Standard input is empty, not the test's terminal.
        {"read line; exit $?", 1, ""},
    };
    for (const auto& c : cases) {
        disk_test::spill(log, "");
        EXPECT_EQ(exit_code(run_program(nullptr, "/bin/sh", {"-c", c.script})), c.code) << c.script;
        EXPECT_EQ(disk_test::slurp(log), c.log_text) << c.script;
    }
}

TEST_F(programs_test, run_program_gives_127_for_what_cannot_start) {
    EXPECT_EQ(exit_code(run_program(nullptr, "/no/such/program", {})), 127);
    EXPECT_EQ(exit_code(run_program((dir + "/no-root").c_str(), "/bin/sh", {"-c", "exit 0"})), 127);
}

TEST_F(programs_test, argument_vectors_hold_fourteen_arguments_at_most) {
    fake_tool("/bin/args", "echo \"$*\" > " + dir + "/seen\n");
    use_fake_tools();
    EXPECT_EQ(
        run_program(nullptr, "/bin/args",
                    {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14"}),
        0);
    EXPECT_EQ(disk_test::slurp(dir + "/seen"), "1 2 3 4 5 6 7 8 9 10 11 12 13 14\n");
    EXPECT_EQ(run_program(nullptr, "/bin/args",
                          {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13",
                           "14", "15"}),
              -1);
}

TEST_F(programs_test, open_program_output_reads_the_output_of_one_child_at_a_time) {
    stream_ = open_program_output("/bin/sh", {"-c", "echo first; echo second; echo hidden >&2"});
    ASSERT_NE(stream_, nullptr);
    const std::string touch = "touch " + dir + "/started";
    EXPECT_EQ(open_program_output("/bin/sh", {"-c", touch.c_str()}), nullptr);
    EXPECT_EQ(open_program_input("/bin/sh", {"-c", touch.c_str()}), nullptr);
    char line[64];
    ASSERT_NE(std::fgets(line, sizeof line, stream_), nullptr);
    EXPECT_STREQ(line, "first\n");
    ASSERT_NE(std::fgets(line, sizeof line, stream_), nullptr);
    EXPECT_STREQ(line, "second\n");
    EXPECT_EQ(std::fgets(line, sizeof line, stream_), nullptr);
    EXPECT_EQ(close_program(stream_), 0);
    stream_ = nullptr;
    EXPECT_EQ(disk_test::slurp(log), "hidden\n");
    EXPECT_FALSE(disk_test::exists(dir + "/started"));
    EXPECT_EQ(close_program(nullptr), -1);
}

TEST_F(programs_test, open_program_input_feeds_the_child_and_waits_at_close) {
    fake_tool("/sbin/tool",
              "echo \"$*\" > " + dir + "/seen\ncat > " + dir + "/input\necho done\nexit 4\n");
    use_fake_tools();
    stream_ = open_program_input("/sbin/tool", {"-q", "-uC", "/dev/hda", ">null"});
    ASSERT_NE(stream_, nullptr);
    std::fputs("0,2,83,*\n", stream_);
    const int status = close_program(stream_);
    stream_ = nullptr;
    EXPECT_EQ(exit_code(status), 4);
    // The marker is not an argument; it sends the output to the log.
    EXPECT_EQ(disk_test::slurp(dir + "/seen"), "-q -uC /dev/hda\n");
    EXPECT_EQ(disk_test::slurp(dir + "/input"), "0,2,83,*\n");
    EXPECT_EQ(disk_test::slurp(log), "done\n");
    EXPECT_EQ(close_program(stream_), -1);
}

TEST_F(programs_test, open_program_input_without_the_marker_keeps_our_output) {
    const std::string script = "cat > " + dir + "/input; echo visible";
    testing::internal::CaptureStdout();
    stream_ = open_program_input("/bin/sh", {"-c", script.c_str()});
    ASSERT_NE(stream_, nullptr);
    std::fputs("data", stream_);
    const int status = close_program(stream_);
    stream_ = nullptr;
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, "visible\n");
    EXPECT_EQ(disk_test::slurp(log), "");
}

}  // namespace
