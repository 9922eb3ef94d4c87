#pragma once

#include <cstdint>

#include "base/byte_string.h"

// One entry of a dependency, provides or conflicts list. min and max 0 mean
// no bound; the priority matters only for provided names.
struct relation {
    byte_string name;
    std::uint32_t min = 0;
    std::uint32_t max = 0;
    std::int32_t priority = 0;
};

// name, then "-" and the min version when there is one.
byte_string relation_label(const relation& r);
