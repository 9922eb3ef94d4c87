#include "installer/install_errors.h"

#include <cerrno>
#include <cstring>

byte_string display_label(const installed_package& p) {
    return p.bundle_name.empty() ? package_label(p) : bundle_label(p);
}

void report_disk_error(repo& r, const installed_package& p, const char* what) {
    const int error = errno;
    const byte_string label = display_label(p);
    if (error == ENOSPC) {
        r.messages.say_error("installation of %s failed: disk is too small", label.text());
    } else if (error == EIO) {
        r.messages.say_error("installation of %s failed: disk error", label.text());
    } else {
        r.messages.say_error("installation of %s failed: could not create %s: %s", label.text(),
                             what, std::strerror(error));
    }
}

void report_broken(repo& r, const installed_package& p) {
    r.messages.say_error("installation of %s failed: broken package", display_label(p).text());
}
