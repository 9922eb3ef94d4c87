#pragma once

#include "installer/repo.h"
#include "package/package_reader.h"
#include "package/package_record.h"

// Stores the script part the reader stands on as "/var/pdb/<name>/<script>",
// behind the preamble that loads the system's install profile.
[[nodiscard]] bool store_script(repo& r, const installed_package& p, package_reader& reader,
                                const char* script);

// Runs a stored script with bash and waits for it. True when the package has
// no such script or it exited with status 0; a failure is warned about.
bool run_script(repo& r, const installed_package& p, const char* script);
