#pragma once

#include "base/array.h"
#include "package/package_reader.h"
#include "package/package_record.h"
#include "package/relation.h"
#include "package/relation_list.h"

// Fills the identity and relations of p from the reader, which stands on a
// type 1 or 18 part; afterwards it stands on the first part after them.
[[nodiscard]] bool read_header(package_record& p, package_reader& reader);

// Reads the header of a store file (and of every member of a bundle). False
// for a file whose size differs from the size it declares, a header that
// cannot be read, or a bundle without members.
[[nodiscard]] bool read_store_file(package_file& f, const char* path);
