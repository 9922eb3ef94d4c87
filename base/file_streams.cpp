#include "base/file_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include "base/file_buffers.h"

namespace {
constexpr int append_mode = 1;
constexpr mode_t new_file_permissions = 0666;
}  // namespace

file_out_stream::file_out_stream(const char* path, int mode) {
    int how = O_WRONLY | O_CREAT | ((mode & append_mode) ? O_APPEND : O_TRUNC);
    adopt(::open(path, how, new_file_permissions));
}

file_out_stream::file_out_stream(int descriptor) {
    adopt(descriptor);
}

// A descriptor that did not open leaves no buffer attached, which keeps the
// stream bad for good.
void file_out_stream::adopt(int descriptor) {
    descriptor_ = descriptor < 0 ? -1 : descriptor;
    if (descriptor_ != -1) owned_ = new file_out_buffer(descriptor_);
    attach(owned_);
}

file_out_stream::~file_out_stream() {
    close();
    delete owned_;
}

void file_out_stream::close() {
    if (descriptor_ == -1) return;
    flush();
    // Some file systems report a failed write only here.
    if (::close(descriptor_) != 0) add_state(bad_bit);
    // Bytes a failed flush left behind must never go to a file that reuses
    // the number.
    owned_->release_descriptor();
    descriptor_ = -1;
}

file_in_stream::file_in_stream(const char* path) {
    adopt(::open(path, O_RDONLY));
}

file_in_stream::file_in_stream(int descriptor) {
    adopt(descriptor);
}

void file_in_stream::adopt(int descriptor) {
    descriptor_ = descriptor < 0 ? -1 : descriptor;
    if (descriptor_ != -1) owned_ = new file_in_buffer(descriptor_);
    attach(owned_);
}

file_in_stream::~file_in_stream() {
    close();
    delete owned_;
}

void file_in_stream::close() {
    if (descriptor_ == -1) return;
    ::close(descriptor_);
    owned_->release_descriptor();
    descriptor_ = -1;
}
