#pragma once

#include "base/array.h"
#include "installer/repo.h"
#include "package/package_record.h"

// How much carry_out tells: 0 nothing; 1 the adjustments and the disable and
// enable progress; 2 also the uninstall progress.
enum report_level : int { report_nothing = 0, report_changes = 1, report_all = 2 };

// The actions to carry out, in the order they run: removals (uninstall or
// disable) dependents first, enables dependencies first.
struct action_plan {
    array<installed_package*> removals;
    array<installed_package*> enables;
};

// Adjusts the pending actions so that the enabled packages stay consistent
// (what they need enabled, no two conflicting enabled, bundles following
// their members, not everything gone) and plans them. Touches no file.
[[nodiscard]] action_plan plan_actions(repo& r, int level);

// Plans as above, then carries the plan out. Uninstalled records leave the
// package list and are retired.
void carry_out(repo& r, int level);
