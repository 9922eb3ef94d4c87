#include "package/reporter.h"

#include "base/format_text.h"
#include "base/out_stream.h"

void reporter::say_error(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    say(error, format, arguments);
    va_end(arguments);
}

void reporter::say_warning(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    say(warning, format, arguments);
    va_end(arguments);
}

void reporter::say_info(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    say(info, format, arguments);
    va_end(arguments);
}

void stream_reporter::say(kind k, const char* format, va_list arguments) {
    static const char* const prefixes[] = {"ERROR: ", "WARNING: ", ""};
    out_ << prefixes[k] << format_text_v(format, arguments);
    out_.end_line();
}
