#include "installer/bundle_install.h"

#include "base/own_ptr.h"
#include "installer/database.h"
#include "installer/install_errors.h"
#include "installer/package_actions.h"
#include "installer/run_flags.h"
#include "installer/scheduled_actions.h"
#include "package/format.h"
#include "package/header_reading.h"
#include "package/package_name.h"
#include "package/version.h"

namespace {

void remove_installed(repo& r, const byte_string& name) {
    const int at = r.find(name);
    if (at < 0) return;
    installed_package* old = r.take(at);
    uninstall(r, *old);
    r.retire(old);
}

// Members that are to come in disabled unless they were enabled before: an
// anonymous record that conflicts with each of them makes install_single
// bring them in disabled. The records never reach the database.
void hold_back_disabled_members(repo& r, package_reader& reader,
                                const previous_state_map& previous) {
    array<relation> held;
    static_cast<void>(read_relation_list(reader, held));
    for (const relation& m : held) {
        const bool* was_disabled = previous.lookup(m.name);
        if (was_disabled != nullptr && !*was_disabled) continue;
        auto* anonymous = new installed_package;
        anonymous->conflicts.push_back(m);
        r.add(anonymous);
    }
    reader.next_part();
}

}  // namespace

int install_bundle(repo& r, package_reader& reader, std::uint32_t flags,
                   const previous_state_map& previous) {
    own_ptr<installed_package> b(new installed_package);
    if (!read_header(*b, reader)) return bundle_unreadable;
    if (!valid_package_name(b->name)) {
        report_broken(r, *b);
        return bundle_unreadable;
    }
    flags |= allow_same;
    if ((check(r, *b, flags) & ~flags) != 0) return bundle_refused;
    remove_installed(r, b->name);
    if (!create_entry_directory(r, *b)) return bundle_unreadable;
    if (!write_metadata(r, *b)) {
        uninstall(r, *b);
        return bundle_unreadable;
    }
    const bundle_info info{b->name, b->version};
    const int stale = r.find(b->name);
    if (stale >= 0) r.retire(r.take(stale));
    r.add(b.release());

    tree_set<byte_string> old_members;
    for (const installed_package* p : r.packages) {
        if (p->bundle_name == info.name) old_members.insert(p->name);
    }
    if (reader.current_type() == part_disabled_members) {
        hold_back_disabled_members(r, reader, previous);
    }
    int count = 0;
    while (reader.current_type() == part_package) {
        if (installed_package* member = install_single(r, reader, flags, previous, &info)) {
            old_members.erase(member->name);
            ++count;
        }
    }
    if (count == 0) return bundle_no_member;
    for (const byte_string& name : old_members) {
        const int at = r.find(name);
        if (at >= 0) r.packages[static_cast<std::size_t>(at)]->pending = action_uninstall;
    }
    carry_out(r, report_nothing);
    r.messages.set_progress(byte_string());
    byte_string label = info.name;
    if (info.version != 0) {
        label.append("-");
        label.append(version_text(info.version));
    }
    r.messages.say_info("installed %s", label.text());
    return bundle_installed;
}
