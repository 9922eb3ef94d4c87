#pragma once

#include "base/in_stream.h"
#include "base/out_stream.h"

class file_in_buffer;
class file_out_buffer;

// An output stream on a file it opens itself: write-only, create, and
// truncate (mode 0) or append (bit 0 of mode), permissions 0666 less umask.
// A file that did not open leaves descriptor -1 and the state bad for good.
class file_out_stream : public out_stream {
public:
    explicit file_out_stream(const char* path, int mode = 0);
    // Takes over an open descriptor (standard output, a pipe).
    explicit file_out_stream(int descriptor);
    ~file_out_stream() override;

    // Flushes and closes; a failed close adds bad_bit. A second call does
    // nothing.
    void close();
    [[nodiscard]] int descriptor() const { return descriptor_; }
    [[nodiscard]] bool is_open() const { return descriptor_ != -1; }

private:
    void adopt(int descriptor);
    int descriptor_ = -1;
    file_out_buffer* owned_ = nullptr;
};

// An input stream on a file it opens read-only.
class file_in_stream : public in_stream {
public:
    explicit file_in_stream(const char* path);
    explicit file_in_stream(int descriptor);
    ~file_in_stream() override;

    void close();
    [[nodiscard]] int descriptor() const { return descriptor_; }
    [[nodiscard]] bool is_open() const { return descriptor_ != -1; }

private:
    void adopt(int descriptor);
    int descriptor_ = -1;
    file_in_buffer* owned_ = nullptr;
};
