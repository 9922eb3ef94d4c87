#include "package/order_packages.h"

#include <algorithm>
#include <utility>

#include "base/tree.h"
#include "package/predicates.h"

namespace {

// Positions in a list, by a name they are filed under. Only entries that
// share a name can be related at all, so looking up by name replaces
// comparing every pair.
class name_index {
public:
    void file(const byte_string& name, std::size_t position) {
        array<std::size_t>& at = slots_.insert(name).first.value();
        if (at.empty() || at.back() != position) at.push_back(position);
    }
    [[nodiscard]] const array<std::size_t>* lookup(const byte_string& name) const {
        return slots_.lookup(name);
    }

private:
    tree_map<byte_string, array<std::size_t>> slots_;
};

// Every name a record answers to as a supplier: its own, what it provides,
// and the same for its members.
void file_supplied_names(name_index& index, const package_record& p, std::size_t position) {
    index.file(p.name, position);
    for (const relation& q : p.provides) index.file(q.name, position);
    for (const package_record* m : p.members) file_supplied_names(index, *m, position);
}

// The names under which a record may conflict with another: its own name,
// the names it conflicts with and those it provides, also of its members.
void file_conflicting_names(name_index& index, const package_record& p, std::size_t position) {
    index.file(p.name, position);
    for (const relation& c : p.conflicts) index.file(c.name, position);
    for (const relation& q : p.provides) index.file(q.name, position);
    for (const package_record* m : p.members) file_conflicting_names(index, *m, position);
}

// Collects distinct positions; `seen` holds, per position, the stamp of the
// last collection that took it.
class position_collector {
public:
    explicit position_collector(std::size_t count) {
        seen_.reserve(count);
        for (std::size_t i = 0; i < count; ++i) seen_.push_back(0);
    }
    void start() {
        ++stamp_;
        found.clear();
    }
    void take_all(const array<std::size_t>* positions) {
        if (positions == nullptr) return;
        for (std::size_t at : *positions) {
            if (seen_[at] == stamp_) continue;
            seen_[at] = stamp_;
            found.push_back(at);
        }
    }
    array<std::size_t> found;

private:
    array<std::size_t> seen_;
    std::size_t stamp_ = 0;
};

// The entries same_package relates to q, either way round: those named like
// q or like one of its members, and the bundles with a member named like q.
void collect_same_package(position_collector& out, const name_index& by_name,
                          const name_index& by_member, const package_record& q) {
    out.start();
    out.take_all(by_name.lookup(q.name));
    for (const package_record* m : q.members) out.take_all(by_name.lookup(m->name));
    out.take_all(by_member.lookup(q.name));
    std::sort(out.found.begin(), out.found.end());
}

// q survives when no other entry of the same package beats it. Entries that
// were already dropped still count, so of versions 1, 2 and 3 only 3 stays
// however they are listed.
bool survives(const array<package_record*>& list, std::size_t q_index,
              const array<std::size_t>& related, bool prefer_older, bool verbose,
              reporter& messages) {
    const package_record& q = *list[q_index];
    for (std::size_t i : related) {
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

array<package_record*> one_per_package(const array<package_record*>& list, bool prefer_older,
                                       bool verbose, reporter& messages) {
    name_index by_name;
    name_index by_member;
    for (std::size_t i = 0; i < list.size(); ++i) {
        by_name.file(list[i]->name, i);
        for (const package_record* m : list[i]->members) by_member.file(m->name, i);
    }
    position_collector related(list.size());
    array<package_record*> survivors;
    for (std::size_t i = 0; i < list.size(); ++i) {
        collect_same_package(related, by_name, by_member, *list[i]);
        if (survives(list, i, related.found, prefer_older, verbose, messages)) {
            survivors.push_back(list[i]);
        }
    }
    return survivors;
}

// x must stand after y: x needs y, or y conflicts with x.
bool must_follow(const package_record& x, const package_record& y) {
    return depends_on(x, y) || conflicts_with(y, x);
}

void collect_needed_names(position_collector& out, const name_index& suppliers,
                          const package_record& x) {
    for (const relation& d : x.depends) out.take_all(suppliers.lookup(d.name));
    for (const package_record* m : x.members) collect_needed_names(out, suppliers, *m);
}

void collect_conflicting(position_collector& out, const name_index& conflicting,
                         const package_record& x) {
    out.take_all(conflicting.lookup(x.name));
    for (const relation& q : x.provides) out.take_all(conflicting.lookup(q.name));
    for (const package_record* m : x.members) collect_conflicting(out, conflicting, *m);
}

// For each survivor, the others it must follow. A pair can only qualify
// when a name x needs is one y supplies, or a name y may conflict under is
// one x answers to; only those pairs are tested.
array<array<std::size_t>> must_follow_lists(const array<package_record*>& survivors) {
    name_index suppliers;
    name_index conflicting;
    for (std::size_t i = 0; i < survivors.size(); ++i) {
        file_supplied_names(suppliers, *survivors[i], i);
        file_conflicting_names(conflicting, *survivors[i], i);
    }
    position_collector candidates(survivors.size());
    array<array<std::size_t>> lists;
    for (std::size_t x = 0; x < survivors.size(); ++x) {
        candidates.start();
        collect_needed_names(candidates, suppliers, *survivors[x]);
        collect_conflicting(candidates, conflicting, *survivors[x]);
        array<std::size_t> follows;
        for (std::size_t y : candidates.found) {
            if (y != x && must_follow(*survivors[x], *survivors[y])) follows.push_back(y);
        }
        lists.push_back(std::move(follows));
    }
    return lists;
}

// The order as survivor numbers, with each one's place in it.
class placement {
public:
    explicit placement(std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) place_.push_back(unplaced);
    }
    static constexpr std::size_t unplaced = ~std::size_t{0};

    [[nodiscard]] std::size_t place(std::size_t x) const { return place_[x]; }
    // The last place among xs after `after`, or `after` when none is later.
    [[nodiscard]] std::size_t last_after(const array<std::size_t>& xs, std::size_t after) const {
        std::size_t last = after;
        for (std::size_t y : xs) {
            const std::size_t at = place_[y];
            if (at != unplaced && (after == unplaced || at > after) &&
                (last == after || at > last)) {
                last = at;
            }
        }
        return last;
    }
    void insert(std::size_t at, std::size_t x) {
        order.insert(at, x);
        for (std::size_t i = at; i < order.size(); ++i) place_[order[i]] = i;
    }
    // Moves the element at `from` to `to` (a later place).
    void move_later(std::size_t from, std::size_t to) {
        const std::size_t x = order[from];
        for (std::size_t i = from; i < to; ++i) {
            order[i] = order[i + 1];
            place_[order[i]] = i;
        }
        order[to] = x;
        place_[x] = to;
    }
    array<std::size_t> order;

private:
    array<std::size_t> place_;
};

// Inserts each survivor after the last placed one it must follow, or at the
// front. Then, since the insertion only saw the elements already placed,
// each element that still stands before something it must follow (a chain
// listed from its middle) moves to just after the last such one, and the
// scan goes on from its old place. An element that has moved as often as
// the list is long stands in a cycle: it stays put.
array<std::size_t> dependency_order(const array<array<std::size_t>>& follows) {
    const std::size_t n = follows.size();
    placement placed(n);
    for (std::size_t x = 0; x < n; ++x) {
        const std::size_t after = placed.last_after(follows[x], placement::unplaced);
        placed.insert(after == placement::unplaced ? 0 : after + 1, x);
    }
    array<std::size_t> moves;
    for (std::size_t i = 0; i < n; ++i) moves.push_back(0);
    std::size_t i = 0;
    while (i < n) {
        const std::size_t x = placed.order[i];
        const std::size_t last = placed.last_after(follows[x], i);
        if (last == i || moves[x] >= n) {
            ++i;
            continue;
        }
        ++moves[x];
        placed.move_later(i, last);
    }
    return std::move(placed.order);
}

}  // namespace

void order_packages(array<package_record*>& list, bool prefer_older, bool verbose,
                    reporter& messages) {
    const array<package_record*> survivors = one_per_package(list, prefer_older, verbose, messages);
    const array<std::size_t> order = dependency_order(must_follow_lists(survivors));
    array<package_record*> ordered;
    ordered.reserve(order.size());
    for (std::size_t x : order) ordered.push_back(survivors[x]);
    list = std::move(ordered);
}
