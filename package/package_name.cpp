#include "package/package_name.h"

bool valid_package_name(const byte_string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (std::size_t i = 0; i < name.length(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c == '/' || c < 0x20 || c == 0x7f) return false;
    }
    return true;
}
