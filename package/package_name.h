#pragma once

#include "base/byte_string.h"

// Whether a name may stand for a package: it names the package's entry
// directory in the database, so it must be one usable path component, and it
// stands in messages and log lines, so it holds no control character (bytes
// below 0x20 and 0x7F), which would forge lines or drive the console.
[[nodiscard]] bool valid_package_name(const byte_string& name);
