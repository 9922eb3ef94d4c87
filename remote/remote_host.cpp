#include "remote/remote_host.h"

#include <cstdarg>

#include "base/format_text.h"
#include "remote/install_client.h"

void say(remote_console& console, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const byte_string text = format_text_v(format, arguments);
    va_end(arguments);
    console.print(text.text());
}

void remote_host::disk_label(char* label, std::size_t capacity) {
    read_disk_label(label, capacity);
}
