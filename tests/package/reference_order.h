#pragma once

// The straightforward ordering of a package list, kept as the reference the
// indexed one in package/ must match: every entry compared with every other.

#include <utility>

#include "base/array.h"
#include "package/package_record.h"
#include "package/predicates.h"
#include "package/reporter.h"

namespace reference {

// q survives when no other entry of the same package beats it. Entries that
// were already dropped still count, so of versions 1, 2 and 3 only 3 stays
// however they are listed.
inline bool survives(const array<package_record*>& list, std::size_t q_index, bool prefer_older,
                     bool verbose, reporter& messages) {
    const package_record& q = *list[q_index];
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i == q_index) continue;
        const package_record& r = *list[i];
        if (!same_package(q, r.name) && !same_package(r, q.name)) continue;
        int f = compare_packages(r, q);
        if (prefer_older) f = -f;
        if (f > 0) {
            if (verbose) {
                messages.say_warning(prefer_older
                                         ? "omitting package %s: older package is already provided"
                                         : "omitting package %s: newer package is already provided",
                                     package_label(q).text());
            }
            return false;
        }
        if (f != 0) continue;
        // Of a bundle and an equal plain member the bundle stays, since it
        // brings the member along. Of two copies of one plain package the
        // first stays; two equal bundles both drop out.
        if (q.is_bundle && !r.is_bundle) continue;
        if (!q.is_bundle && !r.is_bundle && i > q_index) continue;
        return false;
    }
    return true;
}

// x must stand after y: x needs y, or y conflicts with x.
inline bool must_follow(const package_record& x, const package_record& y) {
    return depends_on(x, y) || conflicts_with(y, x);
}

// Inserts x after the last element it must follow, or at the front.
inline void insert_in_order(array<package_record*>& ordered, package_record* x) {
    for (std::size_t i = ordered.size(); i > 0; --i) {
        if (must_follow(*x, *ordered[i - 1])) {
            ordered.insert(i, x);
            return;
        }
    }
    ordered.insert(0, x);
}

// The insertion only sees the elements already placed, so an element can
// still stand before something it must follow (a chain listed from its
// middle). Each such element moves to just after the last one it must
// follow, and the scan goes on from its old place. An element that has
// moved as often as the list is long stands in a cycle: it stays put.
inline void repair_order(array<package_record*>& ordered) {
    const std::size_t n = ordered.size();
    array<std::size_t> moves;
    for (std::size_t i = 0; i < n; ++i) moves.push_back(0);
    std::size_t i = 0;
    while (i < n) {
        package_record* x = ordered[i];
        std::size_t last = i;
        for (std::size_t j = n - 1; j > i; --j) {
            if (must_follow(*x, *ordered[j])) {
                last = j;
                break;
            }
        }
        if (last == i || moves[i] >= n) {
            ++i;
            continue;
        }
        const std::size_t moved = moves[i] + 1;
        ordered.erase(i);
        ordered.insert(last, x);
        moves.erase(i);
        moves.insert(last, moved);
    }
}

inline void order_packages(array<package_record*>& list, bool prefer_older, bool verbose,
                           reporter& messages) {
    array<package_record*> survivors;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (survives(list, i, prefer_older, verbose, messages)) survivors.push_back(list[i]);
    }
    array<package_record*> ordered;
    for (package_record* x : survivors) insert_in_order(ordered, x);
    repair_order(ordered);
    list = std::move(ordered);
}

}  // namespace reference
