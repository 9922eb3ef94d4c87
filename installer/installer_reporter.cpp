#include "installer/installer_reporter.h"

#include <unistd.h>

#include <cstdio>

#include "base/file_streams.h"
#include "base/out_stream.h"

namespace {

constexpr int message_area_size = 256;
constexpr int console_width = 80;
constexpr int log_blank_size = 4096;

const char* prefix_of(reporter::kind k) {
    switch (k) {
        case reporter::error:
            return "ERROR: ";
        case reporter::warning:
            return "WARNING: ";
        default:
            return "";
    }
}

}  // namespace

installer_reporter::installer_reporter(out_stream& console) : console_(console) {}

void installer_reporter::say(kind k, const char* format, va_list arguments) {
    // Errors and information end whatever was in progress; a warning is
    // printed above the live progress line instead.
    if (k != warning) set_progress(byte_string());
    char area[message_area_size];
    std::vsnprintf(area, sizeof area, format, arguments);
    byte_string text(prefix_of(k));
    text.append(area);
    print(text);
}

void installer_reporter::print(const byte_string& text) {
    if (quiet) return;
    if (!progress_line.empty()) {
        console_ << '\r' << byte_string(console_width - 1, ' ') << '\r';
        console_.flush();
    }
    console_ << text;
    console_.end_line();
    if (!progress_line.empty()) {
        console_ << progress_line;
        console_.flush();
    }
    message_log.push_back(text);
}

void installer_reporter::set_progress(const byte_string& text) {
    if (quiet) return;
    if (text == progress_line) return;
    console_ << "\x1b[?25l\r" << text;
    // Blank what the old, longer line left to the right of the new one.
    if (text.length() < progress_line.length()) {
        console_ << byte_string(progress_line.length() - text.length(), ' ');
    }
    console_ << "\r\x1b[?25h";
    console_.flush();
    progress_line = text;
}

void installer_reporter::save_log(const char* path) {
    file_out_stream out(path);
    if (!message_log.empty()) sync();
    for (const byte_string& line : message_log) {
        out << line;
        out.put('\n');
    }
    out.flush();
    out.close();
}

void installer_reporter::load_log(const char* path) {
    {
        file_in_stream in(path);
        if (in.is_open()) {
            byte_string line;
            for (;;) {
                in.get_line(line, '\n');
                if (in.state() & (eof_bit | fail_bit)) break;
                message_log.push_back(line);
            }
            in.close();
        }
    }
    file_out_stream out(path);
    byte_string zeros(log_blank_size, '\0');
    out.write(zeros.data(), static_cast<std::int64_t>(zeros.length()));
    out.flush();
    out.close();
}
