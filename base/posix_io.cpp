#include "base/posix_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

ssize_t read_all(int file, void* buffer, std::size_t size) {
    auto* to = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = read(file, to + done, size - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

bool write_all(int file, const void* bytes, std::size_t size) {
    const auto* from = static_cast<const unsigned char*>(bytes);
    while (size > 0) {
        const ssize_t put = write(file, from, size);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) return false;
        // A regular file or pipe that takes nothing is full; calling again
        // would only spin.
        if (put == 0) {
            errno = ENOSPC;
            return false;
        }
        from += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

replacement_file::replacement_file(const char* path) : path_(path), partial_(path) {
    partial_ += ".partial";
}

replacement_file::~replacement_file() {
    if (!settled_) discard();
}

bool replacement_file::create(mode_t mode) {
    file_ = open(partial_.text(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    return file_ >= 0;
}

bool replacement_file::commit() {
    bool good = true;
    if (file_ >= 0) {
        good = fsync(file_) == 0;
        // A failed close may be the first sign of a failed write.
        if (close(file_) != 0) good = false;
        file_ = -1;
    }
    if (good && std::rename(partial_.text(), path_.text()) == 0) {
        settled_ = true;
        return true;
    }
    const int reason = errno;
    discard();
    errno = reason;
    return false;
}

void replacement_file::discard() {
    if (file_ >= 0) close(file_);
    file_ = -1;
    (void)unlink(partial_.text());  // there may be nothing to remove
    settled_ = true;
}

bool write_file_whole(const char* path, const byte_string& bytes, mode_t mode) {
    replacement_file file(path);
    if (!file.create(mode) || !write_all(file.descriptor(), bytes.data(), bytes.length())) {
        const int reason = errno;
        file.discard();
        errno = reason;
        return false;
    }
    return file.commit();
}
