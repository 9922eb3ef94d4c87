#include "package/order_packages.h"

#include <utility>

#include "package/predicates.h"

namespace {

// q survives when no other entry of the same package beats it. Entries that
// were already dropped still count, so of versions 1, 2 and 3 only 3 stays
// however they are listed.
bool survives(const array<package_record*>& list, std::size_t q_index, bool prefer_older,
              bool verbose, reporter& messages) {
    const package_record& q = *list[q_index];
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i == q_index)
            continue;
        const package_record& r = *list[i];
        if (!same_package(q, r.name) && !same_package(r, q.name))
            continue;
        int f = compare_packages(r, q);
        if (prefer_older)
            f = -f;
        if (f > 0) {
            if (verbose) {
                messages.say_warning(prefer_older
                                         ? "omitting package %s: older package is already provided"
                                         : "omitting package %s: newer package is already provided",
                                     package_label(q).text());
            }
            return false;
        }
        // Of a bundle and an equal plain member the bundle stays, since it
        // brings the member along; other equal pairs both drop out.
        if (f == 0 && !(q.is_bundle && !r.is_bundle))
            return false;
    }
    return true;
}

// Inserts x after the last element it needs or that conflicts with it, or
// at the front.
void insert_in_order(array<package_record*>& ordered, package_record* x) {
    for (std::size_t i = ordered.size(); i > 0; --i) {
        const package_record& y = *ordered[i - 1];
        if (depends_on(*x, y) || conflicts_with(y, *x)) {
            ordered.insert(i, x);
            return;
        }
    }
    ordered.insert(0, x);
}

}  // namespace

void order_packages(array<package_record*>& list, bool prefer_older, bool verbose,
                    reporter& messages) {
    array<package_record*> survivors;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (survives(list, i, prefer_older, verbose, messages))
            survivors.push_back(list[i]);
    }
    array<package_record*> ordered;
    for (package_record* x : survivors) insert_in_order(ordered, x);
    list = std::move(ordered);
}
