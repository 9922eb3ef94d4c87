#pragma once

// Runs build/bin/vsktool as a user would, and reads what it wrote with a
// reader of its own (plain std C++ and zlib), so that the tool is checked
// against an independent view of the format.

#include <ftw.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/files.h"

namespace vsk {

struct run_result {
    int status = -1;
    std::string out;
    std::string err;
};

using test_files::slurp;
using test_files::spill;

inline std::string quoted(const std::string& text) {
    std::string result = "'";
    for (char c : text) result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

// A temporary directory removed with everything in it.
class scratch_dir {
public:
    scratch_dir() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/vsktool_test.XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (mkdtemp(name.data()) != nullptr) path_ = name.data();
        EXPECT_FALSE(path_.empty());
    }
    ~scratch_dir() {
        if (!path_.empty()) {
            nftw(
                path_.c_str(),
                [](const char* p, const struct stat*, int, FTW*) { return ::remove(p); }, 16,
                FTW_DEPTH | FTW_PHYS);
        }
    }
    scratch_dir(const scratch_dir&) = delete;
    scratch_dir& operator=(const scratch_dir&) = delete;

    [[nodiscard]] std::string operator/(const std::string& name) const {
        return path_ + "/" + name;
    }
    [[nodiscard]] const std::string& path() const { return path_; }

private:
    std::string path_;
};

inline run_result run(const std::vector<std::string>& arguments) {
    static int counter = 0;
    std::string stem =
        std::string(std::getenv("TMPDIR") && *std::getenv("TMPDIR") ? std::getenv("TMPDIR")
                                                                    : "/tmp") +
        "/vsktool_run." + std::to_string(getpid()) + "." + std::to_string(counter++);
    std::string command = quoted(std::string(TARNVALE_BIN_DIR) + "/vsktool");
    for (const std::string& argument : arguments) command += " " + quoted(argument);
    command += " >" + quoted(stem + ".out") + " 2>" + quoted(stem + ".err") + " </dev/null";
    run_result result;
    int status = std::system(command.c_str());
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = slurp(stem + ".out");
    result.err = slurp(stem + ".err");
    std::remove((stem + ".out").c_str());
    std::remove((stem + ".err").c_str());
    return result;
}

inline std::size_t line_count(const std::string& text) {
    std::size_t lines = 0;
    for (char c : text) lines += c == '\n';
    return lines;
}

inline std::uint32_t u16_at(const std::string& bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]) | (static_cast<unsigned char>(bytes[at + 1]) << 8);
}

inline std::uint32_t u32_at(const std::string& bytes, std::size_t at) {
    return u16_at(bytes, at) | (u16_at(bytes, at + 2) << 16);
}

struct part {
    std::uint16_t type = 0;
    std::size_t offset = 0;  // of the part header
    std::string payload;
};

struct container {
    std::uint32_t magic = 0;
    std::uint32_t length = 0;
    std::vector<part> parts;
    bool whole = false;  // every part header and payload was there
};

inline container parse_container(const std::string& bytes) {
    container c;
    if (bytes.size() < 8) return c;
    c.magic = u32_at(bytes, 0);
    c.length = u32_at(bytes, 4);
    std::size_t at = 8;
    while (at + 6 <= bytes.size()) {
        part p;
        p.type = static_cast<std::uint16_t>(u16_at(bytes, at));
        p.offset = at;
        std::uint32_t length = u32_at(bytes, at + 2);
        if (at + 6 + length > bytes.size()) return c;
        p.payload = bytes.substr(at + 6, length);
        c.parts.push_back(p);
        at += 6 + length;
    }
    c.whole = at == bytes.size();
    return c;
}

inline std::vector<std::uint16_t> part_types(const container& c) {
    std::vector<std::uint16_t> types;
    for (const part& p : c.parts) types.push_back(p.type);
    return types;
}

inline const part* find_part(const container& c, std::uint16_t type) {
    for (const part& p : c.parts) {
        if (p.type == type) return &p;
    }
    return nullptr;
}

// Inflates a whole zlib stream; ok is false unless zlib reached the stream's
// end with the check value right and nothing left over.
inline std::string inflate_all(const std::string& stream, bool* ok) {
    z_stream z{};
    inflateInit(&z);
    std::string out;
    char area[65536];
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
    z.avail_in = static_cast<uInt>(stream.size());
    int result = Z_OK;
    while (result == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(area);
        z.avail_out = sizeof area;
        result = inflate(&z, Z_NO_FLUSH);
        out.append(area, sizeof area - z.avail_out);
        if (result == Z_BUF_ERROR && z.avail_in == 0) break;
    }
    *ok = result == Z_STREAM_END && z.avail_in == 0;
    inflateEnd(&z);
    return out;
}

struct entry {
    std::uint16_t mode = 0;
    std::uint16_t owner = 0;
    std::uint16_t group = 0;
    std::uint32_t time = 0;
    std::string name;
    std::string data;
    std::string unused;  // header bytes 6-7 and 12-23
};

inline std::vector<entry> parse_entries(const std::string& archive, bool* whole) {
    std::vector<entry> entries;
    std::size_t at = 0;
    *whole = true;
    while (at < archive.size()) {
        if (at + 30 > archive.size()) {
            *whole = false;
            break;
        }
        entry e;
        e.mode = static_cast<std::uint16_t>(u16_at(archive, at));
        e.owner = static_cast<std::uint16_t>(u16_at(archive, at + 2));
        e.group = static_cast<std::uint16_t>(u16_at(archive, at + 4));
        e.time = u32_at(archive, at + 8);
        e.unused = archive.substr(at + 6, 2) + archive.substr(at + 12, 12);
        std::uint32_t size = u32_at(archive, at + 24);
        std::uint32_t name_length = u16_at(archive, at + 28);
        if (at + 30 + name_length + size > archive.size()) {
            *whole = false;
            break;
        }
        e.name = archive.substr(at + 30, name_length);
        e.data = archive.substr(at + 30 + name_length, size);
        entries.push_back(e);
        at += 30 + name_length + size;
    }
    return entries;
}

// The entries of the (first) files part of a package file.
inline std::vector<entry> package_entries(const std::string& package_bytes) {
    container c = parse_container(package_bytes);
    const part* files = find_part(c, 4);
    EXPECT_NE(files, nullptr);
    if (files == nullptr) return {};
    bool ok = false;
    std::string archive = inflate_all(files->payload, &ok);
    EXPECT_TRUE(ok) << "files part is not a whole zlib stream";
    bool whole = false;
    std::vector<entry> entries = parse_entries(archive, &whole);
    EXPECT_TRUE(whole);
    return entries;
}

}  // namespace vsk
