#include "installer/repo.h"

#include <algorithm>
#include <utility>

#include "package/predicates.h"

// What the repo keeps beside each package: its place in repo order and the
// look-ups that only change when packages come or go.
struct repo::slot {
    installed_package* package = nullptr;
    std::uint64_t order = 0;
    array<array<installed_package*>> suppliers;
    bool suppliers_stale = true;
    array<installed_package*> rivals;
};

namespace {

using slot_index = tree_map<byte_string, array<repo::slot*>>;

void file_under(slot_index& index, const byte_string& name, repo::slot* s) {
    array<repo::slot*>& at = index.insert(name).first.value();
    if (at.empty() || at.back() != s) at.push_back(s);
}

void unfile_under(slot_index& index, const byte_string& name, const repo::slot* s) {
    array<repo::slot*>* at = index.lookup(name);
    if (at == nullptr) return;
    for (std::size_t i = 0; i < at->size(); ++i) {
        if ((*at)[i] == s) {
            at->erase(i);
            break;
        }
    }
    if (at->empty()) index.erase(name);
}

const array<repo::slot*>* filed_under(const slot_index& index, const byte_string& name) {
    return index.lookup(name);
}

void append(array<repo::slot*>& to, const array<repo::slot*>& from) {
    for (repo::slot* s : from) to.push_back(s);
}

bool earlier(const repo::slot* a, const repo::slot* b) {
    return a->order < b->order;
}

// The names a package answers to as a supplier: its own and those it
// provides. A package can only satisfy, provide for or be conflicted with
// under one of them.
template <typename F>
void for_each_supplied_name(const installed_package& p, F f) {
    f(p.name);
    for (const relation& q : p.provides) f(q.name);
}

// The names under which a package may conflict with another: its own, the
// names it conflicts with and those it provides.
template <typename F>
void for_each_conflicting_name(const installed_package& p, F f) {
    f(p.name);
    for (const relation& c : p.conflicts) f(c.name);
    for (const relation& q : p.provides) f(q.name);
}

}  // namespace

repo::repo(out_stream& console) : messages(console) {}

repo::~repo() {
    for (installed_package* p : packages) delete p;
    for (slot* s : slots_) delete s;
}

installed_package* repo::named(const byte_string& name) const {
    const array<slot*>* at = filed_under(by_name_, name);
    return at == nullptr || at->empty() ? nullptr : (*at)[0]->package;
}

int repo::find(const byte_string& name) const {
    const installed_package* p = named(name);
    return p == nullptr ? -1 : index_of(p);
}

int repo::index_of(const installed_package* p) const {
    for (std::size_t i = 0; i < packages.size(); ++i) {
        if (packages[i] == p) return static_cast<int>(i);
    }
    return -1;
}

array<installed_package*> repo::candidates(const relation& r, bool with_disabled) const {
    const array<slot*>* named_so = filed_under(by_name_, r.name);
    const array<slot*>* providing = filed_under(by_provided_, r.name);
    array<slot*> both;
    if (named_so != nullptr) append(both, *named_so);
    if (providing != nullptr) append(both, *providing);
    if (named_so != nullptr && providing != nullptr) {
        std::sort(both.begin(), both.end(), earlier);
    }
    array<installed_package*> found;
    const slot* last = nullptr;
    for (const slot* s : both) {
        if (s == last) continue;
        last = s;
        installed_package* p = s->package;
        if (p->disabled && !with_disabled) continue;
        if (satisfies(*p, r) || provides_for(*p, r)) found.push_back(p);
    }
    return found;
}

void repo::refresh_suppliers(slot& s) {
    s.suppliers.clear();
    for (const relation& d : s.package->depends) s.suppliers.push_back(candidates(d, true));
    s.suppliers_stale = false;
}

const array<array<installed_package*>>& repo::suppliers(std::size_t index) {
    slot& s = *slots_[index];
    if (s.suppliers_stale) refresh_suppliers(s);
    return s.suppliers;
}

const array<array<installed_package*>>& repo::suppliers(const installed_package& p) {
    slot& s = *slot_of(&p);
    if (s.suppliers_stale) refresh_suppliers(s);
    return s.suppliers;
}

const array<installed_package*>& repo::rivals(std::size_t index) const {
    return slots_[index]->rivals;
}

repo::slot* repo::slot_of(const installed_package* p) const {
    slot* const* s = slot_of_.lookup(p);
    return s == nullptr ? nullptr : *s;
}

installed_package* repo::first_conflicting(const installed_package& p) const {
    // Only a package that may conflict under a name p answers to can.
    array<slot*> some;
    for_each_supplied_name(p, [&](const byte_string& n) {
        if (const array<slot*>* at = filed_under(by_conflicting_, n)) append(some, *at);
    });
    std::sort(some.begin(), some.end(), earlier);
    for (const slot* s : some) {
        if (!s->package->disabled && conflicts_with(*s->package, p)) return s->package;
    }
    return nullptr;
}

byte_string repo::owner_of(const byte_string& path) const {
    for (const installed_package* p : packages) {
        if (p->files.contains(path)) return p->name;
    }
    return byte_string();
}

void repo::file(slot& s) {
    const installed_package& p = *s.package;
    file_under(by_name_, p.name, &s);
    for (const relation& q : p.provides) file_under(by_provided_, q.name, &s);
    for (const relation& d : p.depends) file_under(by_needed_, d.name, &s);
    for_each_conflicting_name(p, [&](const byte_string& n) { file_under(by_conflicting_, n, &s); });
}

void repo::unfile(slot& s) {
    const installed_package& p = *s.package;
    unfile_under(by_name_, p.name, &s);
    for (const relation& q : p.provides) unfile_under(by_provided_, q.name, &s);
    for (const relation& d : p.depends) unfile_under(by_needed_, d.name, &s);
    for_each_conflicting_name(p,
                              [&](const byte_string& n) { unfile_under(by_conflicting_, n, &s); });
}

// A package came or went: the packages that need a name it supplies must
// look for their suppliers again.
void repo::supplies_changed(const installed_package& p) {
    for_each_supplied_name(p, [&](const byte_string& n) {
        if (const array<slot*>* needing = filed_under(by_needed_, n)) {
            for (slot* s : *needing) s->suppliers_stale = true;
        }
    });
}

void repo::add(installed_package* p) {
    auto* s = new slot;
    s->package = p;
    s->order = next_order_++;
    // The rivals: packages supplying a name p may conflict under, and
    // packages that may conflict under a name p supplies.
    array<slot*> rivals;
    auto take_all = [&](const array<slot*>* some) {
        if (some != nullptr) append(rivals, *some);
    };
    for_each_conflicting_name(*p, [&](const byte_string& n) {
        take_all(filed_under(by_name_, n));
        take_all(filed_under(by_provided_, n));
    });
    for_each_supplied_name(
        *p, [&](const byte_string& n) { take_all(filed_under(by_conflicting_, n)); });
    std::sort(rivals.begin(), rivals.end(), earlier);
    const slot* last = nullptr;
    for (slot* x : rivals) {
        if (x == last) continue;
        last = x;
        s->rivals.push_back(x->package);
        x->rivals.push_back(p);
    }
    packages.push_back(p);
    slots_.push_back(s);
    slot_of_.insert(p, s);
    file(*s);
    supplies_changed(*p);
}

void repo::reindex() {
    array<installed_package*> all = std::move(packages);
    packages = array<installed_package*>();
    for (slot* s : slots_) delete s;
    slots_.clear();
    slot_of_.clear();
    by_name_.clear();
    by_provided_.clear();
    by_needed_.clear();
    by_conflicting_.clear();
    for (installed_package* p : all) add(p);
}

installed_package* repo::take(int index) {
    const auto at = static_cast<std::size_t>(index);
    installed_package* p = packages[at];
    slot* s = slots_[at];
    packages.erase(at);
    slots_.erase(at);
    slot_of_.erase(p);
    unfile(*s);
    supplies_changed(*p);
    for (installed_package* x : s->rivals) {
        array<installed_package*>& theirs = slot_of(x)->rivals;
        for (std::size_t i = 0; i < theirs.size(); ++i) {
            if (theirs[i] == p) {
                theirs.erase(i);
                break;
            }
        }
    }
    delete s;
    return p;
}

void repo::retire(installed_package* p) {
    retired_.push_back(own_ptr<installed_package>(p));
    retired_set_.insert(p);
}

bool repo::is_retired(const installed_package* p) const {
    return retired_set_.contains(p);
}
