#include "base/format_text.h"

#include <cstdio>

byte_string format_text(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    byte_string result = format_text_v(format, arguments);
    va_end(arguments);
    return result;
}

// Measures first, so the string is allocated once at exactly its length.
byte_string format_text_v(const char* format, va_list arguments) {
    va_list measuring;
    va_copy(measuring, arguments);
    int length = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    if (length <= 0) return byte_string();
    byte_string result(static_cast<std::size_t>(length), '\0');
    std::vsnprintf(result.data(), static_cast<std::size_t>(length) + 1, format, arguments);
    return result;
}
