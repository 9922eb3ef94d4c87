#pragma once

#include <cstdint>

// What a run allows the install checks to let through. The three low bits
// come from the command line; the two high bits are set only inside the
// install of a bundle's members.
enum : std::uint32_t {
    allow_upgrade = 0x1,
    allow_downgrade = 0x2,
    allow_same = 0x4,
    allow_unmet = 0x8,
    allow_conflict = 0x10,
    allow_everything = 0xffffffffu,
};

// The findings of the install checks use the same bits: a finding passes
// when the allowed set holds its bit.
enum : std::uint32_t {
    found_older_installed = 0x1,
    found_newer_installed = 0x2,
    found_same_installed = 0x4,
    found_unmet = 0x8,
    found_conflict = 0x10,
};
