#pragma once

#include <cstdint>

#include "base/array.h"
#include "base/byte_string.h"
#include "base/own_ptr.h"
#include "base/tree.h"
#include "installer/installer_reporter.h"
#include "package/package_record.h"
#include "package/relation.h"

// The one state object of a run: the installed packages (owned), the paths
// running processes hold, and the reporter every phase speaks through.
class repo {
public:
    explicit repo(out_stream& console);
    repo(const repo&) = delete;
    repo& operator=(const repo&) = delete;
    ~repo();

    // In the order the database directory listed them; installs append.
    array<installed_package*> packages;
    tree_set<byte_string> used_files;
    installer_reporter messages;
    // Counter behind the "/tmp/inst%u" second names of files in use.
    std::uint32_t temporary_counter = 0;

    // Index of the first package of that name, or -1.
    [[nodiscard]] int find(const byte_string& name) const;
    [[nodiscard]] int index_of(const installed_package* p) const;
    // Packages that satisfy or provide for r, in repo order.
    [[nodiscard]] array<installed_package*> candidates(const relation& r,
                                                      bool with_disabled) const;
    // Name of the first package that lists path; empty when none does.
    [[nodiscard]] byte_string owner_of(const byte_string& path) const;
    void add(installed_package* p);
    // Takes the pointer out without deleting the record.
    installed_package* take(int index);
    // Keeps a record that left the package list alive until the run ends,
    // so that lists and callers still holding it never see freed memory.
    void retire(installed_package* p);
    [[nodiscard]] bool is_retired(const installed_package* p) const;

private:
    array<own_ptr<installed_package>> retired_;
};
