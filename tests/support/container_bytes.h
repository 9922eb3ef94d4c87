#pragma once

// Builds package container bytes in memory with plain std::string, without
// package_writer, so that the reader is checked against an independent writer
// and the writer against an independent layout. Every integer is written
// little-endian, as the container stores it.
//
//   std::string file = fixture::container_bytes(
//       fixture::part_bytes(part_package, fixture::header_record_bytes("base", 0x01000000, 1)) +
//       fixture::part_bytes(part_files, fixture::zlib_bytes(fixture::entry_bytes(0x81a4, "/a",
//       "x"))));
//   fixture::write_file(path, file);

#include <cstdint>
#include <string>
#include <vector>

#include "package/format.h"

namespace fixture {

std::string le16(std::uint16_t value);
std::string le32(std::uint32_t value);

// A 6-byte part header (type, payload length) followed by the payload.
std::string part_bytes(std::uint16_t type, const std::string& payload);

// The 8-byte file header, whose length field is the size of parts, then the
// parts (concatenated part_bytes).
std::string container_bytes(const std::string& parts, std::uint32_t magic = magic_tracked);

// A 32-byte header_record: the name NUL-padded to 16 bytes (longer names are
// cut to 16), version, revision, and 8 zero bytes.
std::string header_record_bytes(const std::string& name, std::uint32_t version,
                                std::uint32_t revision);

struct relation_fields {
    std::string name;
    std::uint32_t min_version = 0;
    std::uint32_t max_version = 0;
    std::int32_t priority = 0;
};

// A relation list: the 2-byte count, then one 32-byte record per relation.
std::string relation_list_bytes(const std::vector<relation_fields>& relations);

// One archive entry: the 30-byte header (bytes no reader looks at are zero),
// the name, then the data.
std::string entry_bytes(std::uint16_t mode, const std::string& name, const std::string& data,
                        std::uint16_t owner = 0, std::uint16_t group = 0, std::uint32_t time = 0);

// A whole zlib stream of bytes, made with zlib's one-call compress2.
std::string zlib_bytes(const std::string& bytes);
// Inflates a whole zlib stream with zlib's one-call uncompress; the expected
// size must be known. Returns an empty string when the stream is not whole.
std::string unzlib_bytes(const std::string& stream, std::size_t size);

// A fresh path below the test's temporary directory; the file does not exist.
std::string scratch_path(const std::string& name);
void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);

}  // namespace fixture
