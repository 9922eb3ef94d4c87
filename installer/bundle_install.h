#pragma once

#include <cstdint>

#include "installer/install.h"

enum bundle_result : int {
    bundle_installed = 0,
    bundle_unreadable = 1,
    bundle_refused = 2,
    bundle_no_member = 3,
};

// Installs a bundle's own entry and then each member like a single package.
// The reader stands on the bundle header.
[[nodiscard]] int install_bundle(repo& r, package_reader& reader, std::uint32_t flags,
                                 const previous_state_map& previous);
