#pragma once

#include "base/byte_string.h"

// Whether a name may stand for a package: it names the package's entry
// directory in the database, so it must be one usable path component.
[[nodiscard]] bool valid_package_name(const byte_string& name);
