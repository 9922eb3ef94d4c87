#include "installer/scheduled_actions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/out_stream.h"
#include "installer/repo.h"
#include "tests/support/memory_buffers.h"

namespace {

// The planning half of the scheduled actions works on records alone, so
// these cases need no file system.
class planning : public ::testing::Test {
protected:
    memory_sink sink;
    out_stream console{&sink};
    repo r{console};

    installed_package& add(const std::string& name, std::vector<std::string> depends = {},
                           bool disabled = false, std::uint32_t pending = action_none) {
        auto* p = new installed_package;
        p->name = name.c_str();
        p->version = (1u << 24) | ('f' << 8);
        for (const std::string& d : depends) {
            relation needed;
            needed.name = d.c_str();
            p->depends.push_back(needed);
        }
        p->disabled = disabled;
        p->pending = pending;
        r.add(p);
        return *p;
    }
    void conflict(installed_package& p, const std::string& with) {
        relation c;
        c.name = with.c_str();
        p.conflicts.push_back(c);
        r.reindex();
    }
    static std::vector<std::string> names(const array<installed_package*>& list) {
        std::vector<std::string> result;
        for (const installed_package* p : list) result.emplace_back(p->name.text());
        return result;
    }
    std::vector<std::string> log() {
        std::vector<std::string> lines;
        for (const byte_string& line : r.messages.message_log) lines.emplace_back(line.text());
        return lines;
    }
    using strings = std::vector<std::string>;
};

TEST_F(planning, a_needed_package_is_not_disabled) {
    add("a", {"b"});
    installed_package& b = add("b", {}, false, action_disable);
    const action_plan plan = plan_actions(r, report_changes);
    EXPECT_EQ(b.pending, action_none);
    EXPECT_TRUE(plan.removals.empty());
    EXPECT_EQ(log(), strings{"WARNING: can not disable b-1.0: a depends on it"});
}

// Each disabled member of the cycle is reached twice (its disable is
// cancelled, then it is enabled), so the chain of needs runs twice round.
TEST_F(planning, a_long_cycle_of_disabled_packages_is_brought_back_whole) {
    const int length = 12;
    std::vector<installed_package*> cycle;
    for (int i = 0; i < length; ++i) {
        cycle.push_back(&add("c" + std::to_string(i), {"c" + std::to_string((i + 1) % length)},
                             true, action_disable));
    }
    add("top", {"c0"});
    const action_plan plan = plan_actions(r, report_changes);
    for (const installed_package* c : cycle) EXPECT_EQ(c->pending, action_enable) << c->name.text();
    EXPECT_EQ(plan.enables.size(), static_cast<std::size_t>(length));
    EXPECT_EQ(log().size(), static_cast<std::size_t>(length));
}

// Bundles naming each other are visited again and again without a change;
// the walk must still end.
TEST_F(planning, a_cycle_of_bundles_ends) {
    installed_package& one = add("one", {}, true, action_enable);
    one.is_bundle = true;
    one.bundle_name = "two";
    installed_package& two = add("two", {}, true);
    two.is_bundle = true;
    two.bundle_name = "one";
    (void)plan_actions(r, report_changes);
    EXPECT_EQ(two.pending, action_enable);
}

TEST_F(planning, the_warning_waits_for_report_level_one) {
    add("a", {"b"});
    add("b", {}, false, action_uninstall);
    (void)plan_actions(r, report_nothing);
    EXPECT_TRUE(log().empty());
}

TEST_F(planning, enabling_a_package_enables_its_disabled_dependency_first) {
    add("a", {"b"}, true, action_enable);
    installed_package& b = add("b", {}, true);
    const action_plan plan = plan_actions(r, report_changes);
    EXPECT_EQ(b.pending, action_enable);
    EXPECT_EQ(names(plan.enables), (strings{"b", "a"}));
}

TEST_F(planning, removals_run_dependents_first) {
    add("b", {}, false, action_uninstall);
    add("a", {"b"}, false, action_uninstall);
    add("c");
    const action_plan plan = plan_actions(r, report_changes);
    EXPECT_EQ(names(plan.removals), (strings{"a", "b"}));
}

TEST_F(planning, nothing_is_done_when_everything_would_go) {
    installed_package& a = add("a", {}, false, action_disable);
    installed_package& b = add("b", {}, false, action_uninstall);
    const action_plan plan = plan_actions(r, report_changes);
    EXPECT_EQ(a.pending, action_none);
    EXPECT_EQ(b.pending, action_none);
    EXPECT_TRUE(plan.removals.empty());
    EXPECT_EQ(log(), strings{"ERROR: can not uninstall or disable all packages"});
}

TEST_F(planning, a_package_without_any_supplier_is_uninstalled) {
    installed_package& orphan = add("orphan", {"missing"});
    add("steady");
    const action_plan plan = plan_actions(r, report_changes);
    EXPECT_EQ(orphan.pending, action_uninstall);
    EXPECT_EQ(names(plan.removals), strings{"orphan"});
}

TEST_F(planning, a_package_whose_supplier_must_stay_disabled_is_disabled) {
    installed_package& needy = add("needy", {"off"});
    installed_package& off = add("off", {}, true);
    installed_package& rival = add("rival", {}, true, action_enable);
    conflict(rival, "off");
    const action_plan plan = plan_actions(r, report_changes);
    EXPECT_EQ(off.pending, action_none);
    EXPECT_EQ(needy.pending, action_disable);
    EXPECT_EQ(names(plan.removals), strings{"needy"});
    EXPECT_EQ(names(plan.enables), strings{"rival"});
}

TEST_F(planning, bundles_pass_their_state_to_members_and_follow_them) {
    installed_package& off = add("off", {}, false, action_disable);
    off.is_bundle = true;
    installed_package& off_member = add("m1");
    off_member.bundle_name = "off";
    installed_package& gone = add("gone", {}, false, action_uninstall);
    gone.is_bundle = true;
    installed_package& gone_member = add("m2");
    gone_member.bundle_name = "gone";
    installed_package& empty = add("empty");
    empty.is_bundle = true;
    // An entry naming itself as its bundle is one of its own members.
    installed_package& own = add("own");
    own.is_bundle = true;
    own.bundle_name = "own";
    add("steady");
    (void)plan_actions(r, report_changes);
    EXPECT_EQ(off_member.pending, action_disable);
    EXPECT_EQ(gone_member.pending, action_uninstall);
    EXPECT_EQ(empty.pending, action_uninstall);
    EXPECT_EQ(off.pending, action_disable);
    EXPECT_EQ(own.pending, action_none);
}

TEST_F(planning, an_enabled_package_disables_what_it_conflicts_with) {
    installed_package& a = add("a", {}, true, action_enable);
    conflict(a, "c");
    installed_package& c = add("c");
    add("steady");
    (void)plan_actions(r, report_changes);
    EXPECT_EQ(a.pending, action_enable);
    EXPECT_EQ(c.pending, action_disable);
}

TEST_F(planning, of_two_packages_to_enable_the_one_conflicted_with_stays_off) {
    installed_package& a = add("a", {}, true, action_enable);
    installed_package& x = add("x", {}, true, action_enable);
    conflict(x, "a");
    (void)plan_actions(r, report_changes);
    EXPECT_EQ(a.pending, action_none);
    EXPECT_EQ(x.pending, action_enable);
    EXPECT_EQ(log(), strings{"WARNING: can not enable a: x-1.0 conflicts with it"});
}

}  // namespace
