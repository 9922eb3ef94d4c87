#pragma once

#include <cstddef>
#include <cstdint>

// The CRC-32 of zlib and Ethernet (reflected polynomial 0xEDB88320). Pass 0
// as previous to start, or the result of an earlier call to go on over
// following bytes.
[[nodiscard]] std::uint32_t crc32_update(std::uint32_t previous, const void* data,
                                         std::size_t length);
