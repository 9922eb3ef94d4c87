#include "installer/scheduled_actions.h"

#include "installer/package_actions.h"
#include "package/order_packages.h"
#include "package/predicates.h"
#include "package/version.h"

namespace {

// What a list of candidates can offer.
enum availability_kind : int {
    available = 0,
    unavailable = 1,
    only_inactive = 3,
};

bool will_be_active(const installed_package& p) {
    return (!p.disabled && p.pending == action_none) || (p.disabled && p.pending == action_enable);
}

bool is_wanted(const installed_package& p) {
    return p.pending == action_enable || (!p.disabled && p.pending == action_none);
}

int availability(const array<installed_package*>& candidates) {
    bool inactive = false;
    for (const installed_package* c : candidates) {
        if (will_be_active(*c)) return available;
        if (c->disabled || c->pending == action_disable) inactive = true;
    }
    return inactive ? only_inactive : unavailable;
}

array<package_record*> as_records(const array<installed_package*>& packages) {
    array<package_record*> records;
    for (installed_package* p : packages) records.push_back(p);
    return records;
}

array<installed_package*> as_installed(const array<package_record*>& records) {
    array<installed_package*> packages;
    for (package_record* p : records) packages.push_back(static_cast<installed_package*>(p));
    return packages;
}

// The adjustment pass: it only changes pending actions.
class adjustment {
public:
    adjustment(repo& r, int level) : r_(r), level_(level) {}

    void pass_on_bundle_state();
    void keep_what_is_needed();
    void resolve_conflicts();
    void drop_what_cannot_work();
    void follow_members();

private:
    void keep_needs(installed_package& p, int idle);
    void keep_needs(installed_package& p, const array<array<installed_package*>>& suppliers,
                    int idle);
    void keep(installed_package& x, installed_package& p, int idle);
    installed_package* bundle_of(const installed_package& p);
    repo& r_;
    int level_;
};

installed_package* adjustment::bundle_of(const installed_package& p) {
    if (p.bundle_name.empty()) return nullptr;
    return r_.named(p.bundle_name);
}

void adjustment::pass_on_bundle_state() {
    for (installed_package* p : r_.packages) {
        installed_package* q = bundle_of(*p);
        if (q == nullptr) continue;
        if (q->pending == action_disable) {
            if (p->pending != action_uninstall) p->pending = action_disable;
        } else if (q->pending == action_uninstall) {
            p->pending = action_uninstall;
        } else if (q->pending == action_enable && p->disabled) {
            p->pending = action_enable;
        }
    }
}

void adjustment::keep_what_is_needed() {
    for (std::size_t i = 0; i < r_.packages.size(); ++i) {
        installed_package& p = *r_.packages[i];
        if (is_wanted(p)) keep_needs(p, r_.suppliers(i), 0);
    }
}

void adjustment::keep_needs(installed_package& p, int idle) {
    keep_needs(p, r_.suppliers(p), idle);
}

void adjustment::keep_needs(installed_package& p, const array<array<installed_package*>>& suppliers,
                            int idle) {
    // Every step that changes a pending action brings the walk closer to its
    // end. Only a disabled bundle already pending enable is visited without
    // a change, so a long enough run of such visits is a cycle of bundles.
    if (idle > static_cast<int>(r_.packages.size())) return;
    if (installed_package* q = bundle_of(p)) keep(*q, p, idle);
    for (const array<installed_package*>& c : suppliers) {
        if (availability(c) == available) continue;
        if (c.empty()) break;
        array<package_record*> ordered = as_records(c);
        order_packages(ordered, false, false, r_.messages);
        if (ordered.empty()) continue;
        keep(*static_cast<installed_package*>(ordered.back()), p, idle);
    }
}

void adjustment::keep(installed_package& x, installed_package& p, int idle) {
    if (x.pending == action_disable || x.pending == action_uninstall) {
        if (level_ >= report_changes) {
            r_.messages.say_warning("can not %s %s: %s depends on it",
                                    pending_action_words[x.pending], package_label(x).text(),
                                    p.name.text());
        }
        x.pending = action_none;
        keep_needs(x, 0);
    } else if (x.disabled) {
        const bool unchanged = x.pending == action_enable;
        x.pending = action_enable;
        keep_needs(x, unchanged ? idle + 1 : 0);
    }
}

// Only a package's rivals can conflict with it either way; the others are
// passed over as the conflict checks would pass them over.
void adjustment::resolve_conflicts() {
    for (std::size_t i = 0; i < r_.packages.size(); ++i) {
        installed_package* p = r_.packages[i];
        if (!is_wanted(*p)) continue;
        for (installed_package* x : r_.rivals(i)) {
            if (!will_be_active(*x)) continue;
            if (conflicts_with(*p, *x)) {
                if (x->pending == action_none) x->pending = action_disable;
            } else if (p->pending == action_enable && conflicts_with(*x, *p)) {
                if (x->pending == action_none) {
                    x->pending = action_disable;
                } else if (x->pending == action_enable) {
                    if (level_ >= report_changes) {
                        r_.messages.say_warning("can not enable %s: %s conflicts with it",
                                                p->name.text(), package_label(*x).text());
                    }
                    p->pending = action_none;
                    break;
                }
            }
        }
    }
}

void adjustment::drop_what_cannot_work() {
    bool changed = true;
    while (changed) {
        changed = false;
        for (std::size_t i = 0; i < r_.packages.size(); ++i) {
            installed_package* p = r_.packages[i];
            for (const array<installed_package*>& c : r_.suppliers(i)) {
                const int a = availability(c);
                if (a == unavailable && p->pending != action_uninstall) {
                    p->pending = action_uninstall;
                    changed = true;
                } else if (a == only_inactive && is_wanted(*p)) {
                    p->pending = action_disable;
                    changed = true;
                }
                if (changed) break;
            }
            if (changed) break;
        }
    }
}

void adjustment::follow_members() {
    tree_map<byte_string, array<installed_package*>> members;
    for (installed_package* m : r_.packages) {
        if (!m->bundle_name.empty()) members.insert(m->bundle_name).first.value().push_back(m);
    }
    const array<installed_package*> none;
    for (installed_package* p : r_.packages) {
        if (!p->is_bundle || p->pending == action_uninstall) continue;
        bool some_active = false;
        bool all_leaving = true;
        // A nameless bundle would count every standalone package as a member.
        const array<installed_package*>* mine =
            p->name.empty() ? &r_.packages : members.lookup(p->name);
        for (installed_package* m : mine == nullptr ? none : *mine) {
            if (m->bundle_name != p->name) continue;
            if (will_be_active(*m)) some_active = true;
            const bool leaving =
                m->pending == action_uninstall || (!m->disabled && m->pending == action_enable);
            if (!leaving) all_leaving = false;
        }
        if (some_active) continue;
        if (all_leaving) {
            p->pending = action_uninstall;
        } else if (!p->disabled) {
            p->pending = action_disable;
        } else if (p->pending == action_enable) {
            p->pending = action_none;
        }
    }
}

// The order in which the actions may run: order_packages puts what a
// package needs before it, so removals run the list backwards.
array<installed_package*> ordered(repo& r, bool removals) {
    array<installed_package*> chosen;
    for (installed_package* p : r.packages) {
        const bool removal = p->pending == action_uninstall || p->pending == action_disable;
        if (removals ? removal : p->pending == action_enable) chosen.push_back(p);
    }
    array<package_record*> records = as_records(chosen);
    order_packages(records, true, false, r.messages);
    array<installed_package*> result = as_installed(records);
    if (!removals) return result;
    array<installed_package*> reversed;
    for (std::size_t i = result.size(); i > 0; --i) reversed.push_back(result[i - 1]);
    return reversed;
}

void run_removal(repo& r, installed_package& p, int level) {
    const byte_string label = package_label(p);
    if (p.pending == action_uninstall) {
        if (level >= report_all) r.messages.set_progress("uninstalling " + label + "...");
        uninstall(r, p);
        const int at = r.index_of(&p);
        if (at >= 0) r.retire(r.take(at));
        if (level >= report_all) r.messages.say_info("uninstalled %s", label.text());
    } else if (p.pending == action_disable) {
        // A package that is disabled already (a disabled member of a bundle
        // being disabled, a repeated request) keeps its files where they
        // are: moving them again would bury them a second prefix deep.
        if (p.disabled) {
            p.pending = action_none;
            return;
        }
        if (level >= report_changes) r.messages.set_progress("disabling " + label + "...");
        disable(r, p);
        if (level >= report_changes) r.messages.say_info("disabled %s", label.text());
    }
}

void run_enable(repo& r, installed_package& p, int level) {
    // Likewise an enabled package has nothing below "/x/" to move back.
    if (!p.disabled) {
        p.pending = action_none;
        return;
    }
    const byte_string label = package_label(p);
    if (level >= report_changes) r.messages.set_progress("enabling " + label + "...");
    enable(r, p);
    if (level >= report_changes) r.messages.say_info("enabled %s", label.text());
}

}  // namespace

action_plan plan_actions(repo& r, int level) {
    adjustment adjust(r, level);
    adjust.pass_on_bundle_state();
    adjust.keep_what_is_needed();
    adjust.resolve_conflicts();
    adjust.drop_what_cannot_work();
    adjust.follow_members();

    bool some_wanted = false;
    for (const installed_package* p : r.packages) {
        if (is_wanted(*p)) some_wanted = true;
    }
    if (!r.packages.empty() && !some_wanted) {
        for (installed_package* p : r.packages) p->pending = action_none;
        if (level >= report_changes) {
            r.messages.say_error("can not uninstall or disable all packages");
        }
        return action_plan();
    }
    action_plan plan;
    plan.removals = ordered(r, true);
    plan.enables = ordered(r, false);
    return plan;
}

void carry_out(repo& r, int level) {
    const action_plan plan = plan_actions(r, level);
    for (installed_package* p : plan.removals) run_removal(r, *p, level);
    for (installed_package* p : plan.enables) run_enable(r, *p, level);
}
