#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

#include "base/file_streams.h"
#include "base/out_stream.h"
#include "package/archive_entry.h"
#include "package/deflate_buffer.h"
#include "package/format.h"
#include "package/inflate_buffer.h"
#include "package/package_reader.h"
#include "package/package_writer.h"
#include "tests/support/container_bytes.h"
#include "tests/support/memory_buffers.h"

using fixture::container_bytes;
using fixture::part_bytes;

namespace {

// Text-like bytes that compress, with runs of noise that do not.
std::string sample_bytes(std::size_t size) {
    std::mt19937 random(42);
    std::string bytes;
    bytes.reserve(size);
    while (bytes.size() < size) {
        if (random() % 4 == 0) {
            for (int i = 0; i < 300; ++i) bytes += static_cast<char>(random());
        } else {
            bytes += "interface eth" + std::to_string(random() % 8) + " address 10.0.0." +
                     std::to_string(random() % 255) + "\n";
        }
    }
    bytes.resize(size);
    return bytes;
}

std::string read_all(in_stream& in) {
    std::string bytes;
    char piece[3000];
    while (in.good()) {
        in.read(piece, sizeof piece);
        bytes.append(piece, static_cast<std::size_t>(in.last_count()));
    }
    return bytes;
}

struct inflated_part {
    std::string bytes;
    bool finished;
    bool corrupt;
};

inflated_part inflate_payload(const std::string& stream) {
    memory_source source(container_bytes(part_bytes(part_files, stream)));
    in_stream file(&source);
    package_reader reader(file);
    reader.accept(part_files);
    EXPECT_EQ(reader.next_part(), part_files);
    inflate_buffer inflater(reader.buffer());
    in_stream archive(&inflater);
    std::string bytes = read_all(archive);
    EXPECT_EQ(inflater.inflated(), bytes.size());
    return {bytes, inflater.finished(), inflater.corrupt()};
}

// A zlib stream of bytes that ends in a full flush, not in a finished
// stream, so that anything may be appended to it.
std::string flushed_zlib_bytes(const std::string& bytes) {
    z_stream zlib{};
    EXPECT_EQ(deflateInit(&zlib, Z_DEFAULT_COMPRESSION), Z_OK);
    std::string stream(compressBound(bytes.size()) + 64, '\0');
    zlib.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    zlib.avail_in = static_cast<uInt>(bytes.size());
    zlib.next_out = reinterpret_cast<Bytef*>(stream.data());
    zlib.avail_out = static_cast<uInt>(stream.size());
    EXPECT_EQ(deflate(&zlib, Z_FULL_FLUSH), Z_OK);
    stream.resize(zlib.total_out);
    deflateEnd(&zlib);
    return stream;
}

}  // namespace

TEST(compression, deflated_archive_part_inflates_to_what_was_written) {
    const std::string data = sample_bytes(3 << 20);
    const std::string path = fixture::scratch_path("archive.vsk");
    {
        package_writer writer(path.c_str(), false);
        writer.begin_part(part_files);
        deflate_buffer deflater(writer.buffer());
        out_stream archive(&deflater);
        // Small pieces go through the put area, big ones straight to zlib.
        std::size_t at = 0;
        for (std::size_t piece = 1; at < data.size(); piece = piece * 3 % 70001 + 1) {
            const std::size_t n = std::min(piece, data.size() - at);
            if (n == 1) {
                archive.put(data[at]);
            } else {
                archive.write(data.data() + at, static_cast<std::int64_t>(n));
            }
            at += n;
        }
        EXPECT_EQ(archive.state(), 0u);
        EXPECT_TRUE(deflater.finish());
        writer.end_part();
        writer.finish();
        EXPECT_EQ(writer.state(), 0u);
    }
    const std::string file = fixture::read_file(path);
    ASSERT_GT(file.size(), 14u);
    const std::uint32_t length = load_u32(reinterpret_cast<const unsigned char*>(file.data()) + 10);
    ASSERT_EQ(file.size(), 14u + length);
    const std::string stream = file.substr(14);
    EXPECT_LT(stream.size(), data.size());
    EXPECT_TRUE(fixture::unzlib_bytes(stream, data.size()) == data);

    file_in_stream in(path.c_str());
    package_reader reader(in);
    reader.accept(part_files);
    ASSERT_EQ(reader.next_part(), part_files);
    inflate_buffer inflater(reader.buffer());
    in_stream archive(&inflater);
    EXPECT_TRUE(read_all(archive) == data);
    EXPECT_TRUE(inflater.finished());
    EXPECT_FALSE(inflater.corrupt());
}

TEST(compression, inflater_tells_whole_cut_and_corrupt_streams_apart) {
    const std::string data = sample_bytes(200000);
    const std::string whole = fixture::zlib_bytes(data);
    std::string bad_block = whole;
    bad_block[2] = 0x07;  // a final block of the reserved type
    std::string garbled = whole;
    for (std::size_t i = whole.size() / 2; i < whole.size() / 2 + 64; ++i) garbled[i] = '\x5a';

    const inflated_part full = inflate_payload(whole);
    EXPECT_TRUE(full.bytes == data);
    EXPECT_TRUE(full.finished);
    EXPECT_FALSE(full.corrupt);

    const inflated_part cut = inflate_payload(whole.substr(0, whole.size() / 2));
    EXPECT_LT(cut.bytes.size(), data.size());
    EXPECT_TRUE(cut.bytes == data.substr(0, cut.bytes.size()));
    EXPECT_FALSE(cut.finished);
    EXPECT_FALSE(cut.corrupt);

    const inflated_part empty = inflate_payload("");
    EXPECT_TRUE(empty.bytes.empty());
    EXPECT_FALSE(empty.finished);

    for (const std::string& stream : {bad_block, garbled}) {
        const inflated_part broken = inflate_payload(stream);
        EXPECT_FALSE(broken.finished);
        EXPECT_TRUE(broken.corrupt);
        EXPECT_FALSE(broken.bytes == data);
    }
}

TEST(compression, corrupt_data_after_whole_entries_ends_the_archive_quietly) {
    const std::string entries = fixture::entry_bytes(0x81a4, "/etc/motd", "welcome\n") +
                                fixture::entry_bytes(0x41ed, "/var/pdb", "");
    // Bits 1, then 11: a final block of the reserved type.
    const std::string stream = flushed_zlib_bytes(entries) + "\x07\xff\xff";
    memory_source source(stream);
    inflate_buffer inflater(&source);
    in_stream archive(&inflater);
    archive_entry entry;
    ASSERT_EQ(read_entry(archive, entry), entry_read::whole);
    EXPECT_EQ(entry.name, "/etc/motd");
    char data[8];
    archive.read(data, 8);
    EXPECT_EQ(std::string(data, 8), "welcome\n");
    ASSERT_EQ(read_entry(archive, entry), entry_read::whole);
    EXPECT_EQ(entry.name, "/var/pdb");
    EXPECT_EQ(read_entry(archive, entry), entry_read::end);
    EXPECT_EQ(archive.last_count(), 0);
    EXPECT_TRUE(inflater.corrupt());
}

TEST(compression, inflated_stream_seeks_forward_only_and_keeps_a_put_back_byte) {
    const std::string data = sample_bytes(20000);
    memory_source source(fixture::zlib_bytes(data));
    inflate_buffer inflater(&source);
    in_stream archive(&inflater);

    // The byte before a refill stays available to push back.
    char first[inflate_buffer::area_size];
    archive.read(first, sizeof first);
    EXPECT_EQ(inflater.take_char(), static_cast<unsigned char>(data[4096]));
    EXPECT_EQ(inflater.unget_char(), static_cast<unsigned char>(data[4096]));
    EXPECT_EQ(inflater.unget_char(), static_cast<unsigned char>(data[4095]));
    EXPECT_EQ(archive.tell_get(), 4095);

    archive.seek_get(10000, seek_begin);
    EXPECT_EQ(archive.tell_get(), 10000);
    EXPECT_EQ(inflater.take_char(), static_cast<unsigned char>(data[10000]));
    archive.seek_get(999, seek_current);
    EXPECT_EQ(inflater.take_char(), static_cast<unsigned char>(data[11000]));
    EXPECT_EQ(inflater.seek_off(0, seek_end, side_in), -1);
    EXPECT_EQ(inflater.seek_pos(5, side_in), -1);
    EXPECT_EQ(inflater.seek_pos(30000, side_in), -1);
    EXPECT_TRUE(inflater.finished());
}

TEST(compression, deflater_reports_a_target_that_takes_nothing) {
    // A sink that refuses everything, as a full disk does.
    struct refusing_sink : buffer_base {};
    for (const std::size_t size : {std::size_t{100}, std::size_t{100000}}) {
        SCOPED_TRACE(size);
        const std::string data = sample_bytes(size);
        refusing_sink sink;
        deflate_buffer deflater(&sink);
        out_stream archive(&deflater);
        archive.write(data.data(), static_cast<std::int64_t>(data.size()));
        EXPECT_EQ((archive.state() & bad_bit) != 0, size > 4096);
        EXPECT_FALSE(deflater.finish());
        EXPECT_FALSE(deflater.finish());
    }
}

TEST(compression, deflater_output_is_an_ordinary_zlib_stream) {
    const std::string data = sample_bytes(50000);
    memory_sink sink;
    {
        deflate_buffer deflater(&sink);
        out_stream archive(&deflater);
        archive.write(data.data(), 700);
        archive.write(data.data() + 700, static_cast<std::int64_t>(data.size() - 700));
        archive.flush();
        EXPECT_EQ(archive.state(), 0u);
    }
    // The destructor finishes the stream.
    EXPECT_TRUE(fixture::unzlib_bytes(sink.bytes(), data.size()) == data);
}
