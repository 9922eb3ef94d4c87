#pragma once

#include "installer/repo.h"
#include "package/package_reader.h"
#include "package/package_record.h"

// Writes the scripts, files and metadata of p from the reader, which stands
// on the first part after the header, then runs the oninstall script. On
// failure everything placed so far is removed again.
[[nodiscard]] bool install_body(repo& r, installed_package& p, package_reader& reader);

// Extracts the file archive the reader stands on. Files of other packages
// are kept (with a warning) unless overwrite is set.
[[nodiscard]] bool extract_files(repo& r, installed_package& p, package_reader& reader,
                                 bool overwrite);

// Draws the progress bar of p: how far the package file has been read.
void show_install_progress(repo& r, const installed_package& p, package_reader& reader);
