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
    // A name refused for its control characters must not forge a console or
    // "/postlog" line through this very message.
    byte_string label = display_label(p);
    for (std::size_t i = 0; i < label.length(); ++i) {
        const auto c = static_cast<unsigned char>(label[i]);
        if (c < 0x20 || c == 0x7f) label[i] = '?';
    }
    r.messages.say_error("installation of %s failed: broken package", label.text());
}
