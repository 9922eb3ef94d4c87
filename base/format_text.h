#pragma once

#include <cstdarg>

#include "base/byte_string.h"

// printf-style formatting into a byte_string of exactly the needed length.
[[nodiscard]] byte_string format_text(const char* format, ...)
    __attribute__((format(printf, 1, 2)));
[[nodiscard]] byte_string format_text_v(const char* format, va_list arguments);
