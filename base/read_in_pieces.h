#pragma once

#include <cstddef>
#include <cstdint>

#include "base/byte_string.h"
#include "base/in_stream.h"

// Reads count bytes in small pieces and appends them to into, keeping at
// most keep of them. Memory grows only with the bytes that really arrive,
// so a damaged length cannot ask for gigabytes. A short stream stops the
// read with what arrived appended; the result tells whether all count bytes
// came.
[[nodiscard]] bool read_in_pieces(in_stream& from, std::uint32_t count, byte_string& into,
                                  std::size_t keep = static_cast<std::size_t>(-1));
