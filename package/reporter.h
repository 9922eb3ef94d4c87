#pragma once

#include <cstdarg>

class out_stream;

// How the package layer and the programs speak to the user: printf-style
// messages of three kinds. The installer's reporter adds its progress line
// and its log; the package layer only needs warnings.
class reporter {
public:
    enum kind { error, warning, info };
    virtual ~reporter() = default;
    virtual void say(kind k, const char* format, va_list arguments) = 0;

    void say_error(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void say_warning(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void say_info(const char* format, ...) __attribute__((format(printf, 2, 3)));
};

// Writes each message as a line on a stream, with "ERROR: " or "WARNING: "
// in front.
class stream_reporter : public reporter {
public:
    explicit stream_reporter(out_stream& out) : out_(out) {}
    void say(kind k, const char* format, va_list arguments) override;

private:
    out_stream& out_;
};
