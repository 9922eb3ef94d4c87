#pragma once

#include "base/byte_string.h"
#include "installer/repo.h"
#include "package/package_record.h"

// The package database: one directory per installed package below
// "/var/pdb/", holding small text files (version, deps, provides, conflicts,
// files, bundle, disabled, the scripts, and "schedule" from the rest of the
// system).

// "/var/pdb/" + name + "/".
[[nodiscard]] byte_string database_entry(const byte_string& name);

// Loads every entry; a broken entry ends up pending uninstall.
void load_database(repo& r, bool quiet);
void load_entry(installed_package& p, const byte_string& name);

[[nodiscard]] bool create_entry_directory(repo& r, const installed_package& p);
[[nodiscard]] bool write_metadata(repo& r, const installed_package& p);
[[nodiscard]] bool write_file_list(const installed_package& p);
void remove_entry(const installed_package& p);
