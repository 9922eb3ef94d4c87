#pragma once

#include "base/byte_string.h"
#include "base/out_stream.h"
#include "installer/repo.h"
#include "package/package_record.h"

// Collects the paths that running processes have mapped or open, from
// "/proc" as seen inside the root.
void scan_processes(repo& r);
[[nodiscard]] bool is_used(const repo& r, const byte_string& path);
// The next "/tmp/inst%u" name that does not exist yet.
[[nodiscard]] byte_string temporary_name(repo& r);
// Unlinks every file of p; a file in use first gets a second name below
// "/tmp", so the process holding it keeps a name for it.
void remove_files(repo& r, installed_package& p);

// A debugging listing of the run's state: every installed package, then the
// paths found in use.
void dump_repo(const repo& r, out_stream& out);
