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
//
// The packages are indexed by name, provided name and the names they need
// or may conflict under, so that look-ups do not scan the list. Add and take
// go through the repo, and a record's name and relations stay as they were
// when it was added.
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
    // The package arrives on standard input: scripts get "/dev/null" there,
    // or one that reads its input would swallow the rest of the package.
    bool package_on_standard_input = false;

    // Index of the first package of that name, or -1.
    [[nodiscard]] int find(const byte_string& name) const;
    // The first package of that name, or null.
    [[nodiscard]] installed_package* named(const byte_string& name) const;
    [[nodiscard]] int index_of(const installed_package* p) const;
    // Packages that satisfy or provide for r, in repo order.
    [[nodiscard]] array<installed_package*> candidates(const relation& r, bool with_disabled) const;
    // The candidates, disabled ones included, of each dependency of the
    // package at index, in the order of its dependencies.
    [[nodiscard]] const array<array<installed_package*>>& suppliers(std::size_t index);
    [[nodiscard]] const array<array<installed_package*>>& suppliers(const installed_package& p);
    // The other packages that may conflict with the package at index, or it
    // with them (they share a name one answers to and the other conflicts
    // under), in repo order. The rest cannot conflict with it either way.
    [[nodiscard]] const array<installed_package*>& rivals(std::size_t index) const;
    // The first enabled package, in repo order, that conflicts with p (which
    // need not be in the repo); null when none does.
    [[nodiscard]] installed_package* first_conflicting(const installed_package& p) const;
    // Name of the first package that lists path; empty when none does.
    [[nodiscard]] byte_string owner_of(const byte_string& path) const;
    void add(installed_package* p);
    // Files every package again, in the same order: for a caller that
    // changed a name or relation of a package already added.
    void reindex();
    // Takes the pointer out without deleting the record.
    installed_package* take(int index);
    // Keeps a record that left the package list alive until the run ends,
    // so that lists and callers still holding it never see freed memory.
    void retire(installed_package* p);
    [[nodiscard]] bool is_retired(const installed_package* p) const;

    struct slot;

private:
    using slot_index = tree_map<byte_string, array<slot*>>;
    void file(slot& s);
    void unfile(slot& s);
    void supplies_changed(const installed_package& p);
    void refresh_suppliers(slot& s);
    [[nodiscard]] slot* slot_of(const installed_package* p) const;

    // Aligned with packages.
    array<slot*> slots_;
    tree_map<const installed_package*, slot*> slot_of_;
    // Each in repo order; a package appears once per name.
    slot_index by_name_;
    slot_index by_provided_;
    slot_index by_needed_;
    slot_index by_conflicting_;
    std::uint64_t next_order_ = 0;
    array<own_ptr<installed_package>> retired_;
    tree_set<const installed_package*> retired_set_;
};
