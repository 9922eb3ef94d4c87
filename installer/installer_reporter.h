#pragma once

#include <cstdarg>

#include "base/array.h"
#include "base/byte_string.h"
#include "package/reporter.h"

class out_stream;

// The installer's voice on the console: messages with their prefixes, a
// progress line kept at the bottom of the screen, and a log of every message
// of the run that ends up in "/postlog". Quiet runs print and log nothing.
class installer_reporter : public reporter {
public:
    explicit installer_reporter(out_stream& console);

    void say(kind k, const char* format, va_list arguments) override;
    void set_progress(const byte_string& text);

    // Keeps the complete lines of the previous log and blanks the file, so
    // that a run stopped half-way leaves no stale log behind.
    void load_log(const char* path = "/postlog");
    void save_log(const char* path = "/postlog");

    bool quiet = false;
    byte_string progress_line;
    array<byte_string> message_log;

private:
    void print(const byte_string& text);
    out_stream& console_;
};
