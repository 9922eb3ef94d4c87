#include "installer/install.h"

#include <sys/stat.h>

#include "base/own_ptr.h"
#include "installer/bundle_install.h"
#include "installer/database.h"
#include "installer/install_body.h"
#include "installer/install_errors.h"
#include "installer/package_actions.h"
#include "installer/run_flags.h"
#include "installer/scheduled_actions.h"
#include "package/format.h"
#include "package/header_reading.h"
#include "package/package_check.h"
#include "package/package_name.h"
#include "package/predicates.h"

namespace {

const std::uint32_t install_part_types[] = {
    part_package,   part_bundle,      part_disabled_members, part_architecture,
    part_depends,   part_provides,    part_conflicts,        part_files,
    part_oninstall, part_onuninstall,
};

// Leaves the reader on the next member's header (or failed at the end).
void skip_to_next_member(package_reader& reader) {
    while (reader.next_part() != -1) {
        if (reader.current_type() == part_package) return;
    }
}

installed_package* installed_named(repo& r, const byte_string& name) {
    const int at = r.find(name);
    return at < 0 ? nullptr : r.packages[static_cast<std::size_t>(at)];
}

// The package is not installed: the checks refused it or found its very
// version in place. The caller learns what stays installed under its name.
installed_package* leave_out(repo& r, const installed_package* p, package_reader& reader,
                             std::uint32_t flags, std::uint32_t findings, bool member) {
    if (member) {
        skip_to_next_member(reader);
    } else if ((flags & findings & allow_same) != 0) {
        r.messages.set_progress(byte_string(78, ' '));
        r.messages.set_progress(byte_string());
        r.messages.say_info("installed %s%s", p->disabled ? "(disabled) " : "",
                            package_label(*p).text());
    }
    return installed_named(r, p->name);
}

// Replaces the installed version of p's name. The scheduled actions run
// with p in place of the old version, so that what p needs stays enabled
// and what p conflicts with is disabled before anything of p is written.
void replace_old_version(repo& r, installed_package* p) {
    const int at = r.find(p->name);
    installed_package* old = at < 0 ? nullptr : r.take(at);
    r.add(p);
    carry_out(r, report_changes);
    if (old != nullptr) {
        uninstall(r, *old);
        r.retire(old);
    }
    const int mine = r.index_of(p);
    if (mine >= 0) r.take(mine);
}

// The name in the header record the reader stands on, or false.
bool record_name(package_reader& reader, byte_string& name, std::uint32_t* version) {
    unsigned char record[header_record_size];
    reader.read(record, sizeof record);
    if (reader.last_count() != sizeof record) return false;
    name = byte_string(reinterpret_cast<const char*>(record),
                       static_cast<std::size_t>(name_field_length(record)));
    if (version != nullptr) *version = load_u32(record + 16);
    return true;
}

// Whether installing the file would replace something installed: a version
// of its name, or of a bundle member's name. Only the headers are read
// (archives are passed over by seeking), and the file is left at its start.
bool replaces_something(repo& r, file_in_stream& in, installed_package& header) {
    bool replaces = false;
    {
        package_reader reader(in);
        reader.accept(part_package);
        reader.accept(part_bundle);
        reader.next_part();
        const std::int32_t type = reader.current_type();
        if ((type == part_package || type == part_bundle) &&
            record_name(reader, header.name, &header.version)) {
            header.is_bundle = type == part_bundle;
            replaces = r.find(header.name) >= 0;
            byte_string member;
            while (header.is_bundle && !replaces && reader.next_part() == part_package &&
                   record_name(reader, member, nullptr)) {
                replaces = r.find(member) >= 0;
            }
        }
    }
    in.clear(0);
    in.seek_get(0, seek_begin);
    return replaces;
}

}  // namespace

int install_file(repo& r, file_in_stream& in, std::uint32_t flags,
                 const previous_state_map& previous) {
    installed_package header;
    if (replaces_something(r, in, header)) {
        struct stat st;
        byte_string where;
        const std::uint64_t size =
            fstat(in.descriptor(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
        const bool whole = check_package(in, size, where) == nullptr;
        in.clear(0);
        in.seek_get(0, seek_begin);
        if (!whole) {
            report_broken(r, header);
            return 1;
        }
    }
    return install_stream(r, in, flags, previous);
}

installed_package* first_conflicting(const repo& r, const installed_package& p) {
    return r.first_conflicting(p);
}

std::uint32_t check(repo& r, const installed_package& p, std::uint32_t allowed) {
    std::uint32_t findings = 0;
    bool reported = false;
    auto should_report = [&](std::uint32_t finding) {
        if ((allowed & finding) != 0 || reported) return false;
        reported = true;
        return true;
    };
    const byte_string label = package_label(p);
    if (const installed_package* installed = installed_named(r, p.name)) {
        const int c = compare_packages(p, *installed);
        if (c < 0) {
            findings |= found_newer_installed;
            if (should_report(found_newer_installed)) {
                r.messages.say_warning("omitting package %s: newer package %s is already installed",
                                       label.text(), package_label(*installed).text());
            }
        } else if (c > 0) {
            findings |= found_older_installed;
        } else {
            findings |= found_same_installed;
            if (should_report(found_same_installed)) {
                r.messages.say_warning("omitting package %s: it is already installed",
                                       label.text());
            }
        }
    }
    if (!p.architecture.empty() && p.architecture != "i386") {
        findings |= found_unmet;
        if (should_report(found_unmet)) {
            r.messages.say_error("can not install %s: it is not made for %s, but for %s",
                                 label.text(), "i386", p.architecture.text());
        }
    }
    for (const relation& d : p.depends) {
        if (!r.candidates(d, false).empty()) continue;
        findings |= found_unmet;
        if (should_report(found_unmet)) {
            r.messages.say_error("can not install %s: %s is not installed, but is required",
                                 label.text(), relation_label(d).text());
        }
        break;
    }
    if (const installed_package* x = first_conflicting(r, p)) {
        findings |= found_conflict;
        if (should_report(found_conflict)) {
            r.messages.say_error("can not install %s: it conflicts with %s", label.text(),
                                 package_label(*x).text());
        }
    }
    return findings;
}

installed_package* install_single(repo& r, package_reader& reader, std::uint32_t flags,
                                  const previous_state_map& previous, const bundle_info* bundle) {
    own_ptr<installed_package> p(new installed_package);
    if (!read_header(*p, reader)) {
        // A cut member header leaves the reader standing on it; the bundle
        // would try the same member forever.
        if (bundle != nullptr) skip_to_next_member(reader);
        return nullptr;
    }
    if (!valid_package_name(p->name)) {
        report_broken(r, *p);
        if (bundle != nullptr) skip_to_next_member(reader);
        return nullptr;
    }
    std::uint32_t findings =
        check(r, *p, bundle != nullptr ? allow_everything : flags | allow_conflict);
    const bool* was_disabled = previous.lookup(p->name);
    p->disabled = was_disabled != nullptr && *was_disabled;
    if ((findings & found_conflict) != 0) {
        // An enabled package conflicts with this one: it comes in disabled.
        p->disabled = true;
        findings &= ~found_conflict;
    }
    if ((findings & ~flags) != 0 || (findings & found_same_installed) != 0) {
        return leave_out(r, p.get(), reader, flags, findings, bundle != nullptr);
    }
    if (bundle != nullptr) {
        p->bundle_name = bundle->name;
        p->bundle_version = bundle->version;
    }
    if (!reader.is_untracked()) {
        replace_old_version(r, p.get());
        // Only a database the checks could not foresee makes the scheduled
        // actions uninstall the newcomer itself; it then stays out, kept by
        // the repo among the retired records.
        if (r.is_retired(p.get())) {
            (void)p.release();
            return nullptr;
        }
    }
    if (!install_body(r, *p, reader)) return nullptr;
    installed_package* installed = p.release();
    r.add(installed);
    carry_out(r, report_nothing);
    return r.is_retired(installed) ? nullptr : installed;
}

int install_stream(repo& r, in_stream& in, std::uint32_t flags,
                   const previous_state_map& previous) {
    package_reader reader(in);
    for (std::uint32_t type : install_part_types) reader.accept(type);
    reader.next_part();
    int result;
    if (reader.current_type() == part_bundle) {
        result = install_bundle(r, reader, flags, previous);
    } else {
        result = install_single(r, reader, flags, previous, nullptr) != nullptr ? 0 : 1;
    }
    // Whatever was not installed is passed over, so that a writer feeding
    // the package through a pipe can always hand over all of it.
    while (reader.next_part() != -1) {
    }
    // A reader that failed stops at the damage; the rest must go as well.
    char rest[4096];
    while (in.read(rest, sizeof rest).last_count() > 0) {
    }
    return result;
}
