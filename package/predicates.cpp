#include "package/predicates.h"

bool satisfies(const package_record& p, const relation& r) {
    return p.name == r.name && p.version >= r.min && (r.max == 0 || p.version <= r.max);
}

bool provides_match(const relation& q, const relation& r) {
    if (q.name != r.name) return false;
    if (q.min != 0 && r.max != 0 && q.min > r.max) return false;
    if (q.max != 0 && r.min != 0 && q.max < r.min) return false;
    return true;
}

bool provides_for(const package_record& p, const relation& r) {
    for (const relation& q : p.provides) {
        if (provides_match(q, r)) return true;
    }
    return false;
}

bool depends_on(const package_record& a, const package_record& b) {
    for (const relation& d : a.depends) {
        if (satisfies(b, d) || provides_for(b, d)) return true;
    }
    for (const package_record* m : b.members) {
        if (depends_on(a, *m)) return true;
    }
    for (const package_record* m : a.members) {
        if (depends_on(*m, b)) return true;
    }
    return false;
}

namespace {

// The provides lists decide before the later rules look: providing the other
// package's name replaces it unless the priority is negative, and of two
// providers of one name the higher priority wins. -1 means undecided.
int provides_verdict(const package_record& a, const package_record& b) {
    for (const relation& q : b.provides) {
        if (q.name == a.name) return q.priority >= 0;
    }
    for (const relation& q : a.provides) {
        if (q.name == b.name) return q.priority >= 0;
        for (const relation& q2 : b.provides) {
            if (q.name == q2.name) return q.priority > q2.priority;
        }
    }
    return -1;
}

}  // namespace

bool conflicts_with(const package_record& a, const package_record& b) {
    for (const relation& c : a.conflicts) {
        if (satisfies(b, c)) return true;
    }
    const int verdict = provides_verdict(a, b);
    if (verdict >= 0) return verdict == 1;
    for (const relation& c : a.conflicts) {
        if (provides_for(b, c)) return true;
    }
    for (const package_record* m : b.members) {
        if (m->name == a.name) return true;
    }
    for (const package_record* m : a.members) {
        if (conflicts_with(*m, b)) return true;
    }
    return false;
}

bool same_package(const package_record& p, const byte_string& name) {
    if (p.name == name) return true;
    for (const package_record* m : p.members) {
        if (m->name == name) return true;
    }
    return false;
}

namespace {

int compare_numbers(std::uint32_t a, std::uint32_t b) {
    return a > b ? 1 : (a < b ? -1 : 0);
}

}  // namespace

int compare_packages(const package_record& a, const package_record& b) {
    if (a.name == b.name) {
        const int by_version = compare_numbers(a.version, b.version);
        return by_version != 0 ? by_version : compare_numbers(a.revision, b.revision);
    }
    for (const package_record* m : a.members) {
        if (m->name == b.name) return compare_packages(*m, b);
    }
    for (const package_record* m : b.members) {
        if (m->name == a.name) return -compare_packages(*m, a);
    }
    return 0;
}
