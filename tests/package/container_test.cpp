#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "base/byte_string.h"
#include "base/file_streams.h"
#include "package/format.h"
#include "package/package_reader.h"
#include "tests/support/container_bytes.h"
#include "tests/support/memory_buffers.h"

using fixture::container_bytes;
using fixture::part_bytes;

namespace {

std::string read_payload(package_reader& reader) {
    std::string payload(reader.part_length(), '\0');
    reader.read(payload.data(), static_cast<std::int64_t>(payload.size()));
    payload.resize(static_cast<std::size_t>(reader.last_count()));
    return payload;
}

// Makes a pipe whose far end receives bytes from a thread, as standard input
// receives a package from bootsetup.
struct pipe_feed {
    explicit pipe_feed(const std::string& bytes) {
        int ends[2];
        EXPECT_EQ(pipe(ends), 0);
        read_end = ends[0];
        writer = std::thread([bytes, fd = ends[1]] {
            std::size_t done = 0;
            while (done < bytes.size()) {
                const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
                if (n <= 0) break;
                done += static_cast<std::size_t>(n);
            }
            ::close(fd);
        });
    }
    ~pipe_feed() { writer.join(); }
    int read_end = -1;
    std::thread writer;
};

}  // namespace

TEST(package_reader, header_decides_between_good_and_bad) {
    struct case_ {
        const char* what;
        std::string bytes;
        bool bad;
        bool untracked;
    };
    const case_ cases[] = {
        {"tracked", container_bytes("", magic_tracked), false, false},
        {"untracked", container_bytes("", magic_untracked), false, true},
        {"unknown magic", container_bytes("", 0x12345678), true, false},
        {"short header", container_bytes("", magic_tracked).substr(0, 7), true, false},
        {"empty file", "", true, false},
    };
    for (const case_& c : cases) {
        SCOPED_TRACE(c.what);
        memory_source source(c.bytes);
        in_stream in(&source);
        package_reader reader(in);
        reader.accept(part_package);
        EXPECT_EQ((reader.state() & bad_bit) != 0, c.bad);
        EXPECT_EQ(reader.is_untracked(), c.untracked);
        EXPECT_EQ(reader.next_part(), -1);
        EXPECT_EQ(reader.current_type(), -1);
    }
}

TEST(package_reader, file_of_only_a_header_has_no_parts) {
    const std::string path = fixture::scratch_path("empty.vsk");
    fixture::write_file(path, container_bytes(""));
    file_in_stream file(path.c_str());
    package_reader reader(file);
    reader.accept(part_package);
    EXPECT_EQ(reader.total_size(), 8u);
    EXPECT_EQ(reader.next_part(), -1);
    EXPECT_EQ(reader.state(), eof_bit | fail_bit);
}

TEST(package_reader, passes_over_parts_it_does_not_accept) {
    const std::string parts =
        part_bytes(part_package, "identity") + part_bytes(part_description, "a router package") +
        part_bytes(part_depends, "needs") + part_bytes(part_oninstall, "echo hi");
    memory_source source(container_bytes(parts));
    in_stream in(&source);
    package_reader reader(in);
    reader.accept(part_package);
    reader.accept(part_depends);
    reader.accept(part_oninstall);

    ASSERT_EQ(reader.next_part(), part_package);
    EXPECT_EQ(reader.payload_offset(), 14u);
    // The payload of the header is left unread: next_part passes the rest.
    ASSERT_EQ(reader.next_part(), part_depends);
    EXPECT_EQ(reader.payload_offset(), 14u + 8 + 6 + 16 + 6);
    EXPECT_EQ(read_payload(reader), "needs");
    // Meeting the end of the payload is no error for next_part.
    reader.skip_ws();
    EXPECT_EQ(reader.state(), eof_bit);
    ASSERT_EQ(reader.next_part(), part_oninstall);
    EXPECT_EQ(read_payload(reader), "echo hi");
    EXPECT_EQ(reader.next_part(), -1);
}

TEST(package_reader, reading_stops_at_the_end_of_the_payload) {
    // A word or line must not run on into the header of the next part.
    const std::string parts =
        part_bytes(part_architecture, "x86 12") + part_bytes(part_oninstall, "34\nsecond line");
    memory_source source(container_bytes(parts));
    in_stream in(&source);
    package_reader reader(in);
    reader.accept(part_architecture);
    reader.accept(part_oninstall);

    ASSERT_EQ(reader.next_part(), part_architecture);
    byte_string word;
    std::uint32_t number = 0;
    reader >> word >> number;
    EXPECT_EQ(word, "x86");
    EXPECT_EQ(number, 12u);
    EXPECT_EQ(reader.state(), eof_bit);

    ASSERT_EQ(reader.next_part(), part_oninstall);
    reader >> number;
    EXPECT_EQ(number, 34u);
    byte_string line;
    reader.skip_ws();
    reader.get_line(line);
    EXPECT_EQ(line, "second line");
    EXPECT_EQ(reader.state(), eof_bit | fail_bit);
}

TEST(package_reader, positions_count_from_the_start_of_the_payload) {
    std::string payload;
    for (int i = 0; i < 100; ++i) payload += static_cast<char>('a' + i % 26);
    for (const bool seekable : {true, false}) {
        SCOPED_TRACE(seekable ? "file-like" : "pipe-like");
        memory_source source(
            container_bytes(part_bytes(part_package, "x") + part_bytes(part_oninstall, payload)),
            seekable);
        in_stream in(&source);
        package_reader reader(in);
        reader.accept(part_oninstall);
        ASSERT_EQ(reader.next_part(), part_oninstall);
        EXPECT_EQ(reader.tell_get(), 0);
        char first[10];
        reader.read(first, 10);
        EXPECT_EQ(reader.tell_get(), 10);

        // Forward moves work on any source, by reading when seeking fails.
        reader.seek_get(40, seek_begin);
        EXPECT_EQ(reader.tell_get(), 40);
        EXPECT_EQ(reader.buffer()->take_char(), payload[40]);
        // From the end, the offset counts backwards.
        reader.seek_get(1, seek_end);
        EXPECT_EQ(reader.buffer()->take_char(), payload[99]);

        reader.seek_get(5, seek_begin);
        if (seekable) {
            EXPECT_EQ(reader.state(), 0u);
            EXPECT_EQ(reader.buffer()->take_char(), payload[5]);
        } else {
            EXPECT_EQ(reader.state(), fail_bit);
        }
    }
}

TEST(package_reader, seeks_stay_inside_the_payload) {
    memory_source source(container_bytes(part_bytes(part_package, "0123456789")));
    in_stream in(&source);
    package_reader reader(in);
    reader.accept(part_package);
    ASSERT_EQ(reader.next_part(), part_package);
    EXPECT_EQ(reader.parts().seek_pos(11, side_in), -1);
    EXPECT_EQ(reader.parts().seek_off(1, seek_current, side_in), 1);
    EXPECT_EQ(reader.parts().seek_off(-2, seek_current, side_in), -1);
    EXPECT_EQ(reader.parts().seek_pos(10, side_in), 10);
    EXPECT_EQ(reader.buffer()->take_char(), -1);
}

TEST(package_reader, skips_an_unread_payload_by_seeking_when_it_can) {
    const std::string big(1 << 20, 'z');
    const std::string file =
        container_bytes(part_bytes(part_files, big) + part_bytes(part_onuninstall, "bye"));
    for (const bool seekable : {true, false}) {
        SCOPED_TRACE(seekable ? "file-like" : "pipe-like");
        memory_source source(file, seekable);
        in_stream in(&source);
        package_reader reader(in);
        reader.accept(part_files);
        reader.accept(part_onuninstall);
        ASSERT_EQ(reader.next_part(), part_files);
        ASSERT_EQ(reader.next_part(), part_onuninstall);
        EXPECT_EQ(read_payload(reader), "bye");
        if (seekable) {
            EXPECT_LT(source.delivered_by_get_n(), 100u);
        } else {
            EXPECT_GE(source.delivered_by_get_n(), big.size());
        }
    }
}

TEST(package_reader, passes_a_big_part_on_a_file_and_on_a_pipe) {
    std::string big(1 << 20, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
    const std::string bytes =
        container_bytes(part_bytes(part_package, "head") + part_bytes(part_files, big) +
                        part_bytes(part_onuninstall, "rm -f /x"));
    const std::string path = fixture::scratch_path("big.vsk");
    fixture::write_file(path, bytes);

    auto check = [](in_stream& in) {
        package_reader reader(in);
        reader.accept(part_package);
        reader.accept(part_onuninstall);
        ASSERT_EQ(reader.next_part(), part_package);
        EXPECT_EQ(read_payload(reader), "head");
        ASSERT_EQ(reader.next_part(), part_onuninstall);
        EXPECT_EQ(read_payload(reader), "rm -f /x");
        EXPECT_EQ(reader.next_part(), -1);
    };
    {
        SCOPED_TRACE("file");
        file_in_stream file(path.c_str());
        check(file);
    }
    {
        SCOPED_TRACE("pipe");
        pipe_feed feed(bytes);
        file_in_stream piped(feed.read_end);
        check(piped);
    }
}

TEST(package_reader, cut_part_header_ends_the_parts_after_the_whole_ones) {
    const std::string whole = part_bytes(part_package, "identity");
    memory_source source(container_bytes(whole + part_bytes(part_depends, "x").substr(0, 5)));
    in_stream in(&source);
    package_reader reader(in);
    reader.accept(part_package);
    reader.accept(part_depends);
    ASSERT_EQ(reader.next_part(), part_package);
    EXPECT_EQ(read_payload(reader), "identity");
    EXPECT_EQ(reader.next_part(), -1);
    EXPECT_EQ(reader.state(), eof_bit | fail_bit);
    EXPECT_EQ(reader.next_part(), -1);
}

TEST(package_reader, cut_payload_reads_short) {
    const std::string declared = part_bytes(part_oninstall, std::string(100, 's'));
    for (const bool seekable : {true, false}) {
        SCOPED_TRACE(seekable ? "file-like" : "pipe-like");
        memory_source source(container_bytes(declared).substr(0, 8 + 6 + 40), seekable);
        in_stream in(&source);
        package_reader reader(in);
        reader.accept(part_oninstall);
        reader.accept(part_files);
        ASSERT_EQ(reader.next_part(), part_oninstall);
        char payload[100];
        reader.read(payload, 100);
        EXPECT_EQ(reader.last_count(), 40);
        EXPECT_EQ(reader.state(), eof_bit | fail_bit);
        EXPECT_EQ(reader.next_part(), -1);
    }
}

TEST(package_reader, cut_payload_is_the_end_even_when_passed_over) {
    // The unread rest of a cut part cannot be skipped on a pipe; on a file the
    // seek lands past the end and the next header is not there.
    const std::string cut =
        container_bytes(part_bytes(part_files, std::string(5000, 'f'))).substr(0, 3000);
    for (const bool seekable : {true, false}) {
        SCOPED_TRACE(seekable ? "file-like" : "pipe-like");
        memory_source source(cut, seekable);
        in_stream in(&source);
        package_reader reader(in);
        reader.accept(part_files);
        reader.accept(part_oninstall);
        ASSERT_EQ(reader.next_part(), part_files);
        EXPECT_EQ(reader.next_part(), -1);
    }
}

TEST(package_reader, push_back_stays_inside_the_payload) {
    memory_source source(
        container_bytes(part_bytes(part_package, "ab") + part_bytes(part_depends, "cd")));
    in_stream in(&source);
    package_reader reader(in);
    reader.accept(part_package);
    reader.accept(part_depends);
    ASSERT_EQ(reader.next_part(), part_package);
    ASSERT_EQ(reader.next_part(), part_depends);
    buffer_base& part = *reader.buffer();
    EXPECT_EQ(part.unget_char(), -1);
    EXPECT_EQ(part.take_char(), 'c');
    EXPECT_EQ(part.push_back_char('x'), -1);
    EXPECT_EQ(part.push_back_char('c'), 'c');
    EXPECT_EQ(reader.tell_get(), 0);
    EXPECT_EQ(part.take_char(), 'c');
    EXPECT_EQ(part.take_char(), 'd');
    EXPECT_EQ(part.unget_char(), 'd');
    EXPECT_EQ(part.take_char(), 'd');
    EXPECT_EQ(part.take_char(), -1);
}
