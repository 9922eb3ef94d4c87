#pragma once

#include <cstdint>

#include "base/array.h"
#include "base/byte_string.h"
#include "bootsetup/menu_grid.h"
#include "package/format.h"

// One package file of the installation media, read up to its dependencies.
class package_entry final : public grid_item {
public:
    [[nodiscard]] const char* item_name() const override { return name; }
    [[nodiscard]] bool item_selected() const override { return selected != 0; }

    byte_string path;
    unsigned char header[header_record_size] = {};
    // The header's name field with a NUL after it.
    char name[name_field_size + 1] = {};
    byte_string description;
    // The name fields of the dependency records; version bounds do not
    // matter for choosing packages.
    array<byte_string> dependencies;
    unsigned char selected = 0;
};

// Package names are compared on their first 16 characters.
[[nodiscard]] bool same_name(const char* a, const char* b);

// The package files of one media directory, in directory order.
struct package_list {
    const char* directory = nullptr;
    array<package_entry> entries;

    [[nodiscard]] int count() const { return static_cast<int>(entries.size()); }
    // The first entry with that name in directory order, or -1.
    [[nodiscard]] int find(const char* name) const;
};

// Reads every ".vsk" file of the list's directory and sets each entry's mark
// to selected. On failure one "FATAL ERROR: " line has been printed.
[[nodiscard]] bool load_packages(package_list& list, bool selected);

// Reads the header, description and dependencies of one package file; false
// when the file is not a whole package up to its dependencies.
[[nodiscard]] bool read_package_entry(const char* path, package_entry& entry);
