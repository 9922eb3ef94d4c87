#pragma once

#include "base/array.h"
#include "package/package_record.h"
#include "package/reporter.h"

// Keeps one package per name (the newest, or the oldest with prefer_older)
// and puts the survivors in dependency order: what an element needs, and
// what conflicts with it, stands before it. The records are not owned.
void order_packages(array<package_record*>& list, bool prefer_older, bool verbose,
                    reporter& messages);
