#pragma once

#include "base/array.h"
#include "base/byte_string.h"
#include "bootsetup/package_list.h"

// The paths of the chosen packages and of everything they depend on, each
// once, every package after its dependencies.
struct install_order {
    const package_list* list = nullptr;
    int length = 0;
    int position = 0;
    array<int> order;
    array<unsigned char> visited;
};

// Among packages that do not depend on each other, directory order decides.
void build_install_order(install_order& order, const package_list& list);
// The path at the current position, then the position advances; false when
// every path has been handed out.
[[nodiscard]] bool next_package_path(install_order& order, byte_string& destination);
// The name (16 characters at most) of the package handed out last; empty
// before the first.
void current_package_name(const install_order& order, byte_string& destination);
