#pragma once

#include <cstdint>

#include "base/byte_string.h"
#include "base/file_streams.h"
#include "base/in_stream.h"
#include "base/tree.h"
#include "installer/repo.h"
#include "package/package_reader.h"
#include "package/package_record.h"

// Name -> disabled flag of the packages installed when a store run began; a
// package installed again keeps the state of its earlier version.
using previous_state_map = tree_map<byte_string, bool>;

// The bundle a member is installed with.
struct bundle_info {
    byte_string name;
    std::uint32_t version = 0;
};

// Installs one package container (plain or bundle) read from in. 0 on
// success; for a plain package 1 otherwise, for a bundle the codes of
// install_bundle.
[[nodiscard]] int install_stream(repo& r, in_stream& in, std::uint32_t flags,
                                 const previous_state_map& previous);

// Installs a package file. A package that would replace something
// installed (a version of its name or of a bundle member's) is first read
// whole; when it is broken, that is reported and nothing changes. A fresh
// package is read once, as from a stream.
[[nodiscard]] int install_file(repo& r, file_in_stream& in, std::uint32_t flags,
                               const previous_state_map& previous);

// The installed package of that name after the attempt (this one, or the
// one the checks left in place), or none. The reader stands on the header.
installed_package* install_single(repo& r, package_reader& reader, std::uint32_t flags,
                                  const previous_state_map& previous, const bundle_info* bundle);

// Findings of the install checks (found_* bits); reports at most one
// message, and only for findings outside allowed.
[[nodiscard]] std::uint32_t check(repo& r, const installed_package& p, std::uint32_t allowed);

// The first enabled package that conflicts with p, or none.
[[nodiscard]] installed_package* first_conflicting(const repo& r, const installed_package& p);
