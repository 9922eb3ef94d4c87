#pragma once

#include "base/out_stream.h"
#include "package/package_record.h"

// A debugging listing of a record: name, version, dependencies and, for an
// installed package, its state and files.
void dump_package(const package_record& p, out_stream& out);
