#include "installer/entry_place.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace {

int open_beneath(int at, const char* path, std::uint64_t flags, std::uint64_t mode) {
    open_how how{};
    how.flags = flags | O_CLOEXEC;
    how.mode = mode;
    how.resolve = RESOLVE_NO_MAGICLINKS;
    return static_cast<int>(syscall(SYS_openat2, at, path, &how, sizeof how));
}

}  // namespace

entry_place::entry_place(const byte_string& path) {
    const std::size_t slash = path.find_last('/');
    const byte_string parent =
        slash == 0 || slash == byte_string::npos ? byte_string("/") : path.substring(0, slash);
    if (slash != byte_string::npos) {
        leaf_ = path.substring(slash + 1, path.length() - slash - 1);
    } else {
        leaf_ = path;
    }
    directory_ = open_beneath(AT_FDCWD, parent.text(), O_PATH | O_DIRECTORY, 0);
}

entry_place::~entry_place() {
    if (directory_ >= 0) close(directory_);
}

int entry_place::create_file() const {
    // O_NOFOLLOW: whatever stood at the path was removed before; a link that
    // appeared since is not followed.
    return open_beneath(directory_, leaf_.text(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0666);
}
