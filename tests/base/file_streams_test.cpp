#include "base/file_streams.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/byte_string.h"
#include "base/file_buffers.h"

namespace {

constexpr std::uint32_t ended = eof_bit | fail_bit;

std::string pattern(std::size_t size) {
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i * 31 + i / 251) & 0xff);
    return text;
}

class scratch_directory : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/file_streams_XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        root_ = name;
    }
    void TearDown() override { std::filesystem::remove_all(root_); }

    std::string path(const char* name) const { return root_ + "/" + name; }
    std::string make_file(const char* name, const std::string& content) const {
        std::ofstream(path(name), std::ios::binary) << content;
        return path(name);
    }
    std::string contents(const std::string& file) const {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static long long size_of(const std::string& file) {
        struct stat status {};
        return ::stat(file.c_str(), &status) == 0 ? status.st_size : -1;
    }

    std::string root_;
};

// Every write() on the sending end arrives as one message, so the sizes of
// the system calls a stream made can be read back.
class write_recorder {
public:
    write_recorder() { socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends_); }
    ~write_recorder() {
        if (ends_[0] != -1) ::close(ends_[0]);
        ::close(ends_[1]);
    }
    int take_sending_end() {
        int end = ends_[0];
        ends_[0] = -1;
        return end;
    }
    std::vector<std::size_t> writes() {
        std::vector<std::size_t> sizes;
        static char message[1 << 17];
        for (;;) {
            ssize_t got = ::recv(ends_[1], message, sizeof message, MSG_DONTWAIT);
            if (got <= 0) return sizes;
            sizes.push_back(static_cast<std::size_t>(got));
        }
    }

private:
    int ends_[2] = {-1, -1};
};

using sizes = std::vector<std::size_t>;

TEST(file_out_buffering, a_full_area_and_the_next_byte_leave_in_one_write) {
    write_recorder recorder;
    file_out_stream out(recorder.take_sending_end());
    std::string text = pattern(4096);
    for (std::size_t i = 0; i < 4095; i += 5) out.write(text.data() + i, 5);
    EXPECT_EQ(recorder.writes(), sizes{});
    out.put(text[4095]);
    EXPECT_EQ(recorder.writes(), sizes{4096});
    out.put('x').flush();
    EXPECT_EQ(recorder.writes(), sizes{1});
    out.flush();
    EXPECT_EQ(recorder.writes(), sizes{});
}

TEST(file_out_buffering, requests_from_1024_bytes_bypass_the_area) {
    write_recorder recorder;
    file_out_stream out(recorder.take_sending_end());
    std::string text = pattern(5000);
    out.write(text.data(), 1023);
    EXPECT_EQ(recorder.writes(), sizes{});
    out.write(text.data(), 1024);
    EXPECT_EQ(recorder.writes(), (sizes{1023, 1024}));
    out.write(text.data(), 5000);
    EXPECT_EQ(recorder.writes(), sizes{5000});
    EXPECT_EQ(out.state(), 0u);
}

TEST(file_out_buffering, seeking_flushes_first) {
    write_recorder recorder;
    file_out_stream out(recorder.take_sending_end());
    out << "abc";
    out.seek_put(0);
    EXPECT_EQ(recorder.writes(), sizes{3});
    // A socket cannot seek.
    EXPECT_EQ(out.state(), fail_bit);
}

TEST_F(scratch_directory, written_bytes_reach_the_file_at_flush_close_or_destruction) {
    std::string text = pattern(4095);
    std::string file = path("out");
    {
        file_out_stream out(file.c_str());
        ASSERT_EQ(out.state(), 0u);
        for (std::size_t i = 0; i < 4095; i += 819) out.write(text.data() + i, 819);
        EXPECT_EQ(size_of(file), 0);
        out.flush();
        EXPECT_EQ(size_of(file), 4095);
        out << 'z';
        EXPECT_EQ(size_of(file), 4095);
        out.close();
        EXPECT_EQ(size_of(file), 4096);
        EXPECT_EQ(out.descriptor(), -1);
        out.close();
    }
    {
        file_out_stream out(file.c_str(), 1);
        out << "tail";
    }
    EXPECT_EQ(contents(file), text + "ztail");
    { file_out_stream out(file.c_str()); }
    EXPECT_EQ(size_of(file), 0);
}

TEST_F(scratch_directory, new_files_get_0666_less_the_umask) {
    mode_t old_mask = ::umask(022);
    { file_out_stream out(path("perm").c_str()); }
    ::umask(old_mask);
    struct stat status {};
    ASSERT_EQ(::stat(path("perm").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644u);
}

TEST_F(scratch_directory, header_patched_through_tell_and_seek) {
    std::string file = path("patched");
    {
        file_out_stream out(file.c_str());
        out.write("xxxx", 4);
        std::int64_t mark = out.tell_put();
        EXPECT_EQ(mark, 4);
        out.write("....body", 8);
        out.seek_put(mark).write("HEAD", 4).seek_put(0, seek_end).write("!", 1);
        EXPECT_EQ(out.state(), 0u);
    }
    EXPECT_EQ(contents(file), "xxxxHEADbody!");
}

TEST_F(scratch_directory, a_file_that_does_not_open_stays_bad) {
    file_in_stream in(path("missing").c_str());
    EXPECT_EQ(in.descriptor(), -1);
    EXPECT_EQ(in.state(), bad_bit);
    byte_string line("old");
    in.get_line(line);
    EXPECT_TRUE(line.empty());
    in.clear();
    EXPECT_EQ(in.state(), bad_bit);
    EXPECT_EQ(in.tell_get(), -1);
    in.close();

    file_out_stream out(path("no/such/dir").c_str());
    EXPECT_EQ(out.descriptor(), -1);
    out << "x";
    out.end_line();
    EXPECT_EQ(out.state(), bad_bit);
}

TEST_F(scratch_directory, get_line_reads_lines_across_refills) {
    std::string text;
    for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i) + "\n";
    text += "unfinished";
    file_in_stream in(make_file("lines", text).c_str());
    byte_string line;
    for (int i = 0; i < 2000; ++i) {
        in.get_line(line);
        ASSERT_EQ(line, ("line " + std::to_string(i)).c_str());
    }
    EXPECT_EQ(in.state(), 0u);
    in.get_line(line);
    EXPECT_EQ(line, "unfinished");
    EXPECT_EQ(in.state(), ended);
}

TEST_F(scratch_directory, a_directory_reads_as_an_empty_file) {
    file_in_stream in(root_.c_str());
    ASSERT_NE(in.descriptor(), -1);
    byte_string line;
    in.get_line(line);
    EXPECT_EQ(in.state(), ended);
}

TEST_F(scratch_directory, tell_get_counts_what_the_reader_took) {
    std::string text = pattern(10000);
    file_in_stream in(make_file("data", text).c_str());
    char got[10];
    in.read(got, 10);
    EXPECT_EQ(in.tell_get(), 10);
    // Telling moved the descriptor back; reading goes on where it was.
    std::string rest(9990, '\0');
    in.read(rest.data(), 9990);
    EXPECT_EQ(in.state(), 0u);
    EXPECT_EQ(rest, text.substr(10));
    EXPECT_EQ(in.tell_get(), 10000);
    in.seek_get(-3, seek_end);
    char tail[3];
    in.read(tail, 3);
    EXPECT_EQ(std::string(tail, 3), text.substr(9997));
    in.seek_get(-1, seek_begin);
    EXPECT_EQ(in.state(), fail_bit);
}

TEST_F(scratch_directory, large_reads_bypass_the_area_and_keep_the_order) {
    std::string text = pattern(20000);
    file_in_stream in(make_file("data", text).c_str());
    std::string got;
    // Small and large requests mixed: the large ones start from what the
    // area still holds and then read straight into the destination.
    for (std::int64_t request : {7, 1024, 100, 5000, 1, 4096, 3000, 9999}) {
        std::string piece(static_cast<std::size_t>(request), '\0');
        in.read(piece.data(), request);
        got += piece.substr(0, static_cast<std::size_t>(in.last_count()));
    }
    EXPECT_EQ(got, text);
    EXPECT_EQ(in.state(), ended);
    EXPECT_EQ(in.last_count(), 20000 - (7 + 1024 + 100 + 5000 + 1 + 4096 + 3000));
}

TEST_F(scratch_directory, the_byte_before_a_refill_or_bypass_can_be_pushed_back) {
    std::string text = pattern(10000);
    std::string file = make_file("data", text);
    {
        file_in_buffer buffer(::open(file.c_str(), O_RDONLY));
        for (int i = 0; i < 4097; ++i)
            ASSERT_EQ(buffer.take_char(), static_cast<unsigned char>(text[i]));
        EXPECT_EQ(buffer.unget_char(), static_cast<unsigned char>(text[4096]));
        EXPECT_EQ(buffer.unget_char(), static_cast<unsigned char>(text[4095]));
        EXPECT_EQ(buffer.unget_char(), -1);
        EXPECT_EQ(buffer.take_char(), static_cast<unsigned char>(text[4095]));
        ::close(buffer.descriptor());
    }
    {
        file_in_buffer buffer(::open(file.c_str(), O_RDONLY));
        std::string piece(2000, '\0');
        EXPECT_EQ(buffer.get_n(piece.data(), 2000), 2000);
        int last = static_cast<unsigned char>(text[1999]);
        EXPECT_EQ(buffer.push_back_char(last ^ 1), -1);
        EXPECT_EQ(buffer.push_back_char(last), last);
        EXPECT_EQ(buffer.take_char(), last);
        EXPECT_EQ(buffer.take_char(), static_cast<unsigned char>(text[2000]));
        ::close(buffer.descriptor());
    }
}

TEST(file_in_buffering, reads_from_a_pipe_in_pieces) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    std::string text = pattern(3000);
    ASSERT_EQ(::write(ends[1], text.data(), 1000), 1000);
    ASSERT_EQ(::write(ends[1], text.data() + 1000, 2000), 2000);
    ::close(ends[1]);
    file_in_stream in(ends[0]);
    std::string got(3000, '\0');
    in.read(got.data(), 3000);
    EXPECT_EQ(in.last_count(), 3000);
    EXPECT_EQ(got, text);
    EXPECT_EQ(in.tell_get(), -1);
}

TEST(file_out_failures, a_failed_write_leaves_the_bytes_pending) {
    int read_only = ::open("/dev/null", O_RDONLY);
    file_out_buffer buffer(read_only);
    EXPECT_EQ(buffer.put_n("abc", 3), 3);
    EXPECT_EQ(buffer.sync(), -1);
    EXPECT_EQ(buffer.put_current() - buffer.put_begin(), 3);
    EXPECT_EQ(buffer.seek_off(0, seek_current, side_out), -1);
    std::string big(2000, 'b');
    EXPECT_EQ(buffer.put_n(big.data(), 2000), 0);
    EXPECT_EQ(buffer.overflow(-1), -1);

    out_stream out(&buffer);
    out.write(big.data(), 2000);
    EXPECT_EQ(out.state(), bad_bit);
    ::close(read_only);
    buffer.release_descriptor();
}

// A file size limit makes a write stop part-way, as a full disk does.
class size_limited : public scratch_directory {
protected:
    void SetUp() override {
        scratch_directory::SetUp();
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        old_handler_ = ::signal(SIGXFSZ, SIG_IGN);
    }
    void TearDown() override {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        ::signal(SIGXFSZ, old_handler_);
        scratch_directory::TearDown();
    }
    void limit(rlim_t bytes) {
        rlimit reduced = saved_;
        reduced.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &reduced);
    }
    void lift() { ::setrlimit(RLIMIT_FSIZE, &saved_); }

    rlimit saved_{};
    sighandler_t old_handler_ = SIG_DFL;
};

TEST_F(size_limited, bytes_that_went_out_before_a_failure_are_not_written_twice) {
    std::string text = pattern(2 * 4096);
    std::string file = path("limited");
    file_out_buffer buffer(::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666));
    // Nine small pieces fill the 4095-byte area; the next byte goes through
    // overflow and makes the write.
    auto fill_then_overflow = [&](std::size_t from) {
        for (std::size_t piece = 0; piece < 9; ++piece) {
            EXPECT_EQ(buffer.put_n(text.data() + from + piece * 455, 455), 455);
        }
        return buffer.put_n(text.data() + from + 4095, 1);
    };
    limit(5000);
    EXPECT_EQ(fill_then_overflow(0), 1);
    EXPECT_EQ(size_of(file), 4096);
    EXPECT_EQ(fill_then_overflow(4096), 0);
    EXPECT_EQ(size_of(file), 5000);
    lift();
    EXPECT_EQ(buffer.sync(), 0);
    ::close(buffer.descriptor());
    buffer.release_descriptor();
    EXPECT_EQ(contents(file), text.substr(0, 2 * 4096 - 1));
}

TEST_F(size_limited, pending_bytes_never_reach_a_file_that_reuses_the_descriptor) {
    std::string first = path("first");
    std::string second = path("second");
    limit(0);
    auto out = std::make_unique<file_out_stream>(first.c_str());
    *out << "pending";
    out->close();
    EXPECT_EQ(out->state(), bad_bit);
    lift();
    int reused = ::open(second.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    out.reset();
    ::close(reused);
    EXPECT_EQ(size_of(first), 0);
    EXPECT_EQ(size_of(second), 0);
}

}  // namespace
