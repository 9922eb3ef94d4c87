#include "tools/vsktool/package_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "package/format.h"
#include "tools/vsktool/options.h"

bool package_input::open() {
    int descriptor = ::open(path_, O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        report(path_, "cannot open: %s", std::strerror(errno));
        return false;
    }
    struct stat info;
    if (fstat(descriptor, &info) != 0) {
        report(path_, "cannot stat: %s", std::strerror(errno));
        ::close(descriptor);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        report(path_, "is a directory, not a package file");
        ::close(descriptor);
        return false;
    }
    size_known_ = S_ISREG(info.st_mode);
    real_size_ = static_cast<std::uint64_t>(info.st_size);
    file_ = std::make_unique<file_in_stream>(descriptor);
    reader_ = std::make_unique<package_reader>(*file_);
    if (reader_->failed()) {
        if (size_known_ && real_size_ < static_cast<std::uint64_t>(file_header_size)) {
            report(path_, "not a package file: only %llu bytes",
                   static_cast<unsigned long long>(real_size_));
        } else {
            report(path_, "not a package file: unknown magic 0x%08x", reader_->magic());
        }
        return false;
    }
    // Ascending, so that the reader's linear search finds the common types
    // at once; every type is accepted so that nothing is passed over unseen.
    reader_->accepted_types().reserve(0x10000);
    for (std::uint32_t type = 0; type <= 0xffff; ++type) reader_->accept(type);
    return true;
}

std::uint64_t package_input::declared_size() const {
    return reader_->total_size();
}
