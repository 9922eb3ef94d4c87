#include "installer/repo.h"

#include "package/predicates.h"

repo::repo(out_stream& console) : messages(console) {}

repo::~repo() {
    for (installed_package* p : packages) delete p;
}

int repo::find(const byte_string& name) const {
    for (std::size_t i = 0; i < packages.size(); ++i) {
        if (packages[i]->name == name) return static_cast<int>(i);
    }
    return -1;
}

int repo::index_of(const installed_package* p) const {
    for (std::size_t i = 0; i < packages.size(); ++i) {
        if (packages[i] == p) return static_cast<int>(i);
    }
    return -1;
}

array<installed_package*> repo::candidates(const relation& r, bool with_disabled) const {
    array<installed_package*> found;
    for (installed_package* p : packages) {
        if (p->disabled && !with_disabled) continue;
        if (satisfies(*p, r) || provides_for(*p, r)) found.push_back(p);
    }
    return found;
}

byte_string repo::owner_of(const byte_string& path) const {
    for (const installed_package* p : packages) {
        if (p->files.contains(path)) return p->name;
    }
    return byte_string();
}

void repo::add(installed_package* p) { packages.push_back(p); }

installed_package* repo::take(int index) {
    installed_package* p = packages[static_cast<std::size_t>(index)];
    packages.erase(static_cast<std::size_t>(index));
    return p;
}

void repo::retire(installed_package* p) {
    retired_.push_back(own_ptr<installed_package>(p));
}

bool repo::is_retired(const installed_package* p) const {
    for (const own_ptr<installed_package>& gone : retired_) {
        if (gone.get() == p) return true;
    }
    return false;
}
