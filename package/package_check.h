#pragma once

#include <cstdint>

#include "base/byte_string.h"
#include "base/in_stream.h"

// Reads a whole package the way an installer reads it and says whether the
// installer would find it broken on the way: every part present, the
// headers and relation lists whole, the names acceptable, every file archive
// inflated to the end of its stream without a data error and every entry in
// it acceptable and whole, and the declared size equal to real_size (the
// size of the file). Null when it is whole; otherwise the problem, and in
// where the entry or part concerned.
[[nodiscard]] const char* check_package(in_stream& source, std::uint64_t real_size,
                                        byte_string& where);
