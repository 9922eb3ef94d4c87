#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "base/out_stream.h"
#include "installer/installer_reporter.h"
#include "tests/support/memory_buffers.h"

namespace {

const std::string hide = "\x1b[?25l";
const std::string show = "\x1b[?25h";
const std::string blank_line = "\r" + std::string(79, ' ') + "\r";

class reporter_test : public ::testing::Test {
protected:
    memory_sink sink;
    out_stream console{&sink};
    installer_reporter messages{console};

    std::string printed() { return sink.bytes(); }
    std::string logged(std::size_t index) { return messages.message_log[index].text(); }
};

TEST_F(reporter_test, warning_is_printed_above_a_live_progress_line) {
    messages.set_progress("installing a");
    messages.say_warning("ghost file %s", "/etc/x");
    EXPECT_EQ(printed(), hide + "\rinstalling a\r" + show + blank_line +
                             "WARNING: ghost file /etc/x\ninstalling a");
    EXPECT_STREQ(messages.progress_line.text(), "installing a");
}

TEST_F(reporter_test, error_and_information_end_the_progress_line_first) {
    messages.set_progress("abc");
    messages.say_error("no %d", 1);
    messages.say_info("done");
    EXPECT_EQ(printed(), hide + "\rabc\r" + show + hide + "\r   \r" + show + "ERROR: no 1\ndone\n");
    EXPECT_TRUE(messages.progress_line.empty());
    ASSERT_EQ(messages.message_log.size(), 2u);
    EXPECT_EQ(logged(0), "ERROR: no 1");
    EXPECT_EQ(logged(1), "done");
}

TEST_F(reporter_test, progress_redraws_only_on_change_and_blanks_the_longer_old_text) {
    messages.set_progress("long text");
    messages.set_progress("long text");
    messages.set_progress("short");
    EXPECT_EQ(printed(), hide + "\rlong text\r" + show + hide + "\rshort    \r" + show);
}

TEST_F(reporter_test, formatted_text_is_cut_to_255_bytes) {
    const std::string long_text(300, 'x');
    messages.say_warning("%s", long_text.c_str());
    ASSERT_EQ(messages.message_log.size(), 1u);
    EXPECT_EQ(logged(0), "WARNING: " + std::string(255, 'x'));
}

TEST_F(reporter_test, quiet_prints_and_logs_nothing) {
    messages.quiet = true;
    messages.set_progress("x");
    messages.say_error("e");
    messages.say_warning("w");
    messages.say_info("i");
    EXPECT_EQ(printed(), "");
    EXPECT_TRUE(messages.message_log.empty());
}

class log_file_test : public reporter_test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarnvale-postlog-XXXXXX";
        const int descriptor = mkstemp(pattern);
        ASSERT_GE(descriptor, 0);
        close(descriptor);
        log_path = pattern;
    }
    void TearDown() override { unlink(log_path.c_str()); }

    void write_log(const std::string& text) {
        std::ofstream out(log_path, std::ios::binary | std::ios::trunc);
        out << text;
    }
    std::string read_log() {
        std::ifstream in(log_path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::string log_path;
};

TEST_F(log_file_test, load_keeps_complete_lines_and_blanks_the_file) {
    write_log("first\nsecond\ncut off");
    messages.load_log(log_path.c_str());
    ASSERT_EQ(messages.message_log.size(), 2u);
    EXPECT_EQ(logged(0), "first");
    EXPECT_EQ(logged(1), "second");
    EXPECT_EQ(read_log(), std::string(4096, '\0'));
}

TEST_F(log_file_test, save_writes_loaded_lines_then_this_runs_messages) {
    write_log("old\n");
    messages.load_log(log_path.c_str());
    messages.say_info("installed a-1.0");
    messages.save_log(log_path.c_str());
    EXPECT_EQ(read_log(), "old\ninstalled a-1.0\n");
}

TEST_F(log_file_test, a_run_without_messages_leaves_an_empty_log) {
    write_log("stale\n");
    messages.save_log(log_path.c_str());
    EXPECT_EQ(read_log(), "");
}

}  // namespace
