#include "tests/support/container_bytes.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <fstream>
#include <iterator>
#include <sstream>

namespace fixture {

std::string le16(std::uint16_t value) {
    std::string bytes(2, '\0');
    store_u16(reinterpret_cast<unsigned char*>(bytes.data()), value);
    return bytes;
}

std::string le32(std::uint32_t value) {
    std::string bytes(4, '\0');
    store_u32(reinterpret_cast<unsigned char*>(bytes.data()), value);
    return bytes;
}

std::string part_bytes(std::uint16_t type, const std::string& payload) {
    return le16(type) + le32(static_cast<std::uint32_t>(payload.size())) + payload;
}

std::string container_bytes(const std::string& parts, std::uint32_t magic) {
    return le32(magic) + le32(static_cast<std::uint32_t>(parts.size())) + parts;
}

namespace {
std::string name_field(const std::string& name) {
    std::string field = name.substr(0, name_field_size);
    field.resize(name_field_size, '\0');
    return field;
}
}  // namespace

std::string header_record_bytes(const std::string& name, std::uint32_t version,
                                std::uint32_t revision) {
    return name_field(name) + le32(version) + le32(revision) + std::string(8, '\0');
}

std::string relation_list_bytes(const std::vector<relation_fields>& relations) {
    std::string bytes = le16(static_cast<std::uint16_t>(relations.size()));
    for (const relation_fields& r : relations) {
        bytes += name_field(r.name) + le32(r.min_version) + le32(0) + le32(r.max_version) +
                 le32(static_cast<std::uint32_t>(r.priority));
    }
    return bytes;
}

std::string entry_bytes(std::uint16_t mode, const std::string& name, const std::string& data,
                        std::uint16_t owner, std::uint16_t group, std::uint32_t time) {
    return le16(mode) + le16(owner) + le16(group) + le16(0) + le32(time) + std::string(12, '\0') +
           le32(static_cast<std::uint32_t>(data.size())) +
           le16(static_cast<std::uint16_t>(name.size())) + name + data;
}

std::string zlib_bytes(const std::string& bytes) {
    uLongf size = compressBound(bytes.size());
    std::string stream(size, '\0');
    const int result = compress2(reinterpret_cast<Bytef*>(stream.data()), &size,
                                 reinterpret_cast<const Bytef*>(bytes.data()), bytes.size(),
                                 Z_DEFAULT_COMPRESSION);
    EXPECT_EQ(result, Z_OK);
    stream.resize(size);
    return stream;
}

std::string unzlib_bytes(const std::string& stream, std::size_t size) {
    std::string bytes(size + 1, '\0');
    uLongf produced = bytes.size();
    if (uncompress(reinterpret_cast<Bytef*>(bytes.data()), &produced,
                   reinterpret_cast<const Bytef*>(stream.data()), stream.size()) != Z_OK) {
        return {};
    }
    bytes.resize(produced);
    return bytes;
}

std::string scratch_path(const std::string& name) {
    static int serial = 0;
    std::ostringstream path;
    path << ::testing::TempDir() << "tarnvale-" << getpid() << '-' << ++serial << '-' << name;
    unlink(path.str().c_str());
    return path.str();
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(out.good()) << path;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace fixture
