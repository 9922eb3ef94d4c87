// The indexed repo look-ups and planner against the straightforward ones
// they replaced: random databases must give the same pending actions, plans
// and messages from both.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/out_stream.h"
#include "installer/repo.h"
#include "installer/scheduled_actions.h"
#include "tests/installer/reference_planner.h"
#include "tests/support/memory_buffers.h"

namespace {

// One package of a random database, built the same way into both repos.
struct package_draw {
    std::string name;
    std::uint32_t version = 0;
    std::vector<relation> depends, provides, conflicts;
    bool is_bundle = false;
    std::string bundle_name;
    bool disabled = false;
    std::uint32_t pending = action_none;
};

class random_database {
public:
    explicit random_database(unsigned seed) : random_(seed) {}

    std::size_t pick(std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_);
    }

    package_draw draw() {
        package_draw p;
        // Now and then a nameless record that only holds a member back, as a
        // bundle install adds one.
        if (pick(20) == 0) {
            p.conflicts.push_back(some_relation(false));
            return p;
        }
        p.name = name();
        p.version = version();
        for (std::size_t i = pick(3); i > 0; --i) p.depends.push_back(some_relation(false));
        if (pick(3) == 0) p.provides.push_back(some_relation(true));
        if (pick(4) == 0) p.conflicts.push_back(some_relation(false));
        p.is_bundle = pick(6) == 0;
        if (!p.is_bundle && pick(3) == 0) p.bundle_name = name();
        p.disabled = pick(4) == 0;
        static const std::uint32_t pendings[] = {action_none,      action_none,   action_none,
                                                 action_uninstall, action_enable, action_disable};
        p.pending = pendings[pick(6)];
        return p;
    }

    relation some_relation(bool provided) {
        relation r;
        r.name = name().c_str();
        if (pick(3) == 0) r.min = version();
        if (pick(4) == 0) r.max = version();
        if (provided) r.priority = static_cast<std::int32_t>(pick(5)) - 2;
        return r;
    }

private:
    std::string name() {
        static const char* const names[] = {"a", "b", "c", "d", "e",   "f",
                                            "g", "h", "i", "j", "net", "web"};
        return names[pick(12)];
    }
    std::uint32_t version() { return make_version(static_cast<unsigned>(pick(3)), 0, 'f', 0); }
    std::mt19937 random_;
};

installed_package* make(const package_draw& d) {
    auto* p = new installed_package;
    p->name = d.name.c_str();
    p->version = d.version;
    for (const relation& r : d.depends) p->depends.push_back(r);
    for (const relation& r : d.provides) p->provides.push_back(r);
    for (const relation& r : d.conflicts) p->conflicts.push_back(r);
    p->is_bundle = d.is_bundle;
    p->bundle_name = d.bundle_name.c_str();
    p->disabled = d.disabled;
    p->pending = d.pending;
    return p;
}

// Two repos fed the same adds and takes.
struct twin_repos {
    memory_sink sink;
    out_stream console{&sink};
    repo indexed{console};
    repo plain{console};

    void add(const package_draw& d) {
        indexed.add(make(d));
        plain.add(make(d));
    }
    void take(std::size_t index) {
        indexed.retire(indexed.take(static_cast<int>(index)));
        plain.retire(plain.take(static_cast<int>(index)));
    }
};

std::vector<int> places(const repo& r, const array<installed_package*>& list) {
    std::vector<int> result;
    for (const installed_package* p : list) result.push_back(r.index_of(p));
    return result;
}

std::vector<std::string> log(const repo& r) {
    std::vector<std::string> lines;
    for (const byte_string& line : r.messages.message_log) lines.emplace_back(line.text());
    return lines;
}

std::vector<std::uint32_t> pendings(const repo& r) {
    std::vector<std::uint32_t> result;
    for (const installed_package* p : r.packages) result.push_back(p->pending);
    return result;
}

TEST(planner_differential, matches_the_pairwise_planner_on_random_databases) {
    for (unsigned seed = 1; seed <= 400; ++seed) {
        random_database db(seed);
        twin_repos twins;
        const std::size_t count = 1 + db.pick(16);
        for (std::size_t i = 0; i < count; ++i) twins.add(db.draw());
        // Packages leave and come as installs make them, so the indexes
        // must follow takes as well as adds.
        for (std::size_t i = db.pick(3); i > 0 && !twins.plain.packages.empty(); --i) {
            twins.take(db.pick(twins.plain.packages.size()));
            if (db.pick(2) == 0) twins.add(db.draw());
        }
        const std::string context = "seed " + std::to_string(seed);

        for (int k = 0; k < 4; ++k) {
            const relation d = db.some_relation(false);
            const bool with_disabled = db.pick(2) == 0;
            EXPECT_EQ(places(twins.indexed, twins.indexed.candidates(d, with_disabled)),
                      places(twins.plain, reference::candidates(twins.plain, d, with_disabled)))
                << context;
            EXPECT_EQ(twins.indexed.find(d.name), reference::find(twins.plain, d.name)) << context;
        }
        // A newcomer's first enabled rival, as the install checks ask for it.
        const package_draw draw = db.draw();
        installed_package* newcomer = make(draw);
        EXPECT_EQ(twins.indexed.index_of(twins.indexed.first_conflicting(*newcomer)),
                  twins.plain.index_of(reference::first_conflicting(twins.plain, *newcomer)))
            << context;
        delete newcomer;

        const int level = static_cast<int>(db.pick(3));
        const action_plan indexed = plan_actions(twins.indexed, level);
        const action_plan plain = reference::plan_actions(twins.plain, level);
        ASSERT_EQ(pendings(twins.indexed), pendings(twins.plain)) << context;
        ASSERT_EQ(places(twins.indexed, indexed.removals), places(twins.plain, plain.removals))
            << context;
        ASSERT_EQ(places(twins.indexed, indexed.enables), places(twins.plain, plain.enables))
            << context;
        ASSERT_EQ(log(twins.indexed), log(twins.plain)) << context;
    }
}

}  // namespace
