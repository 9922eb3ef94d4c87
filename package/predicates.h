#pragma once

#include "base/byte_string.h"
#include "package/package_record.h"
#include "package/relation.h"

// p is the named package in the accepted version range.
[[nodiscard]] bool satisfies(const package_record& p, const relation& r);
// A provided name q meets r: same name and overlapping ranges.
[[nodiscard]] bool provides_match(const relation& q, const relation& r);
[[nodiscard]] bool provides_for(const package_record& p, const relation& r);
// a needs b (directly, or through members of either).
[[nodiscard]] bool depends_on(const package_record& a, const package_record& b);
// a conflicts with b; not symmetric.
[[nodiscard]] bool conflicts_with(const package_record& a, const package_record& b);
// p is the named package or a bundle with a member of that name.
[[nodiscard]] bool same_package(const package_record& p, const byte_string& name);
// 1, 0 or -1 by version and revision of the packages (or members) of one name.
[[nodiscard]] int compare_packages(const package_record& a, const package_record& b);
