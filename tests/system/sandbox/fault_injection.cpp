// A preload library that makes one call of a program fail, to show what a
// full disk or a failing disk at that very moment does to it.
//
//   TARNVALE_FAULT_AT=N      the Nth counted call fails (1 is the first);
//                            0 only counts
//   TARNVALE_FAULT_ERRNO=E   the errno of the failure (default ENOSPC)
//
// Counted calls: write to a descriptor above 2 (the console is left alone),
// rename, renameat, renameat2, mkdir, mkdirat, fsync, fdatasync, syncfs.
// At exit the library writes "fault-injection: C calls" to standard error.
// Only the program itself is counted: the library removes itself from the
// environment, so the scripts it starts run undisturbed.

#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

long fail_at = -1;
int fail_errno = ENOSPC;
long counted = 0;

template <typename F>
F next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

// True when this call is the one to fail; errno is then set.
bool strikes() {
    if (fail_at < 0) return false;
    ++counted;
    if (counted != fail_at) return false;
    errno = fail_errno;
    return true;
}

__attribute__((constructor)) void start() {
    const char* at = getenv("TARNVALE_FAULT_AT");
    if (at == nullptr) return;
    fail_at = strtol(at, nullptr, 10);
    const char* code = getenv("TARNVALE_FAULT_ERRNO");
    if (code != nullptr) fail_errno = static_cast<int>(strtol(code, nullptr, 10));
    unsetenv("LD_PRELOAD");
    unsetenv("TARNVALE_FAULT_AT");
    unsetenv("TARNVALE_FAULT_ERRNO");
}

__attribute__((destructor)) void report() {
    if (fail_at < 0) return;
    char line[64];
    const int length = snprintf(line, sizeof line, "fault-injection: %ld calls\n", counted);
    using write_call = ssize_t (*)(int, const void*, size_t);
    if (length > 0) (void)next<write_call>("write")(2, line, static_cast<size_t>(length));
}

}  // namespace

extern "C" {

ssize_t write(int fd, const void* bytes, size_t count) {
    using call = ssize_t (*)(int, const void*, size_t);
    static const call real = next<call>("write");
    if (fd > 2 && strikes()) return -1;
    return real(fd, bytes, count);
}

int rename(const char* from, const char* to) {
    using call = int (*)(const char*, const char*);
    static const call real = next<call>("rename");
    if (strikes()) return -1;
    return real(from, to);
}

int renameat(int from_dir, const char* from, int to_dir, const char* to) {
    using call = int (*)(int, const char*, int, const char*);
    static const call real = next<call>("renameat");
    if (strikes()) return -1;
    return real(from_dir, from, to_dir, to);
}

int renameat2(int from_dir, const char* from, int to_dir, const char* to, unsigned flags) {
    using call = int (*)(int, const char*, int, const char*, unsigned);
    static const call real = next<call>("renameat2");
    if (strikes()) return -1;
    return real(from_dir, from, to_dir, to, flags);
}

int mkdir(const char* path, mode_t mode) {
    using call = int (*)(const char*, mode_t);
    static const call real = next<call>("mkdir");
    if (strikes()) return -1;
    return real(path, mode);
}

int mkdirat(int dir, const char* path, mode_t mode) {
    using call = int (*)(int, const char*, mode_t);
    static const call real = next<call>("mkdirat");
    if (strikes()) return -1;
    return real(dir, path, mode);
}

int fsync(int fd) {
    using call = int (*)(int);
    static const call real = next<call>("fsync");
    if (strikes()) return -1;
    return real(fd);
}

int fdatasync(int fd) {
    using call = int (*)(int);
    static const call real = next<call>("fdatasync");
    if (strikes()) return -1;
    return real(fd);
}

int syncfs(int fd) {
    using call = int (*)(int);
    static const call real = next<call>("syncfs");
    if (strikes()) return -1;
    return real(fd);
}

}  // extern "C"
