#include "package/package_name.h"

bool valid_package_name(const byte_string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find('/') == byte_string::npos;
}
