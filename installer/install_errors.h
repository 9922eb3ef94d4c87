#pragma once

#include "base/byte_string.h"
#include "installer/repo.h"
#include "package/package_record.h"

// The label a package goes by on the progress line and in install
// failures: its bundle's label when it came with a bundle.
[[nodiscard]] byte_string display_label(const installed_package& p);

// Reports the failure of a write by errno: a full disk, a failing disk, or
// the name of what could not be created and why.
void report_disk_error(repo& r, const installed_package& p, const char* what);
void report_broken(repo& r, const installed_package& p);
