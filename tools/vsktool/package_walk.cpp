#include "tools/vsktool/package_walk.h"

#include <cstdarg>
#include <cstdio>

#include "package/format.h"
#include "package/header_record.h"
#include "package/package_reader.h"
#include "package/relation_list.h"
#include "tools/vsktool/options.h"
#include "tools/vsktool/package_input.h"

namespace {

// Descriptions are shown, not stored: a longer one is cut for the listing.
constexpr std::size_t text_limit = 64 * 1024;

// The place in the file of the part being read, for messages.
struct part_place {
    std::uint16_t type = 0;
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
};

class walk {
public:
    walk(package_input& input, package_visitor& visitor, bool strict)
        : input_(input), reader_(input.reader()), visitor_(visitor), strict_(strict) {}

    bool run(package_summary& top);

private:
    bool fail(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // A fault that readers pass over quietly: fatal only when strict.
    bool fault(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // A fault that installers pass over: an oddity for the visitor when strict.
    bool odd(const char* format, ...) __attribute__((format(printf, 2, 3)));
    bool cut_short() { return fail("payload cut short"); }
    bool take_part(package_summary& top);
    bool check_order(bool bundle_section);
    bool read_header(package_summary& summary);
    bool read_text(std::string& text, std::size_t limit);
    bool read_relations(std::vector<relation>& list);
    bool check_end(const package_summary& top);
    bool truncated();

    package_input& input_;
    package_reader& reader_;
    package_visitor& visitor_;
    bool strict_;
    part_place place_;
    package_summary* current_ = nullptr;
    int last_rank_ = 0;
    std::uint64_t end_ = file_header_size;
    // An installer stops taking members at the first odd part it reads.
    bool installer_stopped_ = false;
    std::size_t members_reached_ = 0;
};

bool walk::fail(const char* format, ...) {
    char message[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(message, sizeof message, format, arguments);
    va_end(arguments);
    report(input_.path(), "part %u at offset %u: %s", place_.type, place_.offset, message);
    return false;
}

bool walk::fault(const char* format, ...) {
    if (!strict_) return true;
    char message[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(message, sizeof message, format, arguments);
    va_end(arguments);
    report(input_.path(), "part %u at offset %u: %s", place_.type, place_.offset, message);
    return false;
}

bool read_by_installers(std::uint16_t type) {
    switch (type) {
        case part_package:
        case part_bundle:
        case part_disabled_members:
        case part_architecture:
        case part_depends:
        case part_provides:
        case part_conflicts:
        case part_files:
        case part_oninstall:
        case part_onuninstall:
            return true;
        default:
            return false;
    }
}

bool walk::odd(const char* format, ...) {
    // Parts an installer does not read at all cannot lead it astray.
    if (read_by_installers(place_.type)) installer_stopped_ = true;
    if (!strict_) return true;
    char message[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(message, sizeof message, format, arguments);
    va_end(arguments);
    char line[600];
    std::snprintf(line, sizeof line, "part %u at offset %u: %s", place_.type, place_.offset,
                  message);
    visitor_.oddity(line);
    return true;
}

// Where each part stands in a package, and in the header section of a
// bundle; 0 means it does not belong there.
int plain_rank(std::uint16_t type) {
    switch (type) {
        case part_description:
            return 2;
        case part_architecture:
            return 3;
        case part_depends:
            return 4;
        case part_provides:
            return 5;
        case part_conflicts:
            return 6;
        case part_oninstall:
            return 7;
        case part_onuninstall:
            return 8;
        case part_files:
            return 9;
        default:
            return 0;
    }
}

int bundle_rank(std::uint16_t type) {
    switch (type) {
        case part_description:
            return 2;
        case part_architecture:
            return 3;
        case part_depends:
            return 4;
        case part_provides:
            return 5;
        case part_conflicts:
            return 6;
        case part_disabled_members:
            return 7;
        default:
            return 0;
    }
}

bool walk::check_order(bool bundle_section) {
    int rank = bundle_section ? bundle_rank(place_.type) : plain_rank(place_.type);
    if (rank == 0) {
        return odd("does not belong in %s", bundle_section ? "a bundle header" : "a package");
    }
    if (rank == last_rank_) return odd("appears twice");
    if (rank < last_rank_) return odd("is out of order (readers would miss it)");
    last_rank_ = rank;
    return true;
}

bool walk::read_header(package_summary& summary) {
    if (place_.length < static_cast<std::uint32_t>(header_record_size)) {
        return fail("header record of %u bytes, needs %d", place_.length, header_record_size);
    }
    header_record record;
    if (!read_header_record(reader_, record)) return cut_short();
    summary.header_type = place_.type;
    summary.name.assign(record.name.data(), record.name.length());
    summary.version = record.version;
    summary.revision = record.revision;
    if (summary.name.empty()) return fault("package name is empty");
    return true;
}

bool walk::read_text(std::string& text, std::size_t limit) {
    // A part met twice (outside strict) adds to the same text and limit.
    byte_string kept;
    const std::size_t room = text.size() < limit ? limit - text.size() : 0;
    if (!reader_.read_payload(kept, room)) return cut_short();
    text.append(kept.data(), kept.length());
    return true;
}

bool walk::read_relations(std::vector<relation>& list) {
    if (place_.length < 2) return fail("relation list without a count");
    std::uint16_t count_field = 0;
    if (!read_relation_count(reader_, count_field)) return cut_short();
    std::uint32_t count = count_field;
    std::uint64_t needed = 2 + static_cast<std::uint64_t>(count) * relation_record_size;
    if (needed != place_.length) {
        if (!fault("relation list of %u records needs %llu bytes, the part holds %u", count,
                   static_cast<unsigned long long>(needed), place_.length)) {
            return false;
        }
        if (needed > place_.length) count = (place_.length - 2) / relation_record_size;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        relation r;
        if (!read_relation(reader_, r)) return cut_short();
        if (r.name.empty() && !fault("relation record %u has an empty name", i + 1)) return false;
        list.push_back(r);
    }
    return true;
}

bool walk::take_part(package_summary& top) {
    bool in_bundle_section = top.header_type == part_bundle && current_ == &top;
    if (place_.type == part_package && top.header_type == part_bundle) {
        top.members.emplace_back();
        current_ = &top.members.back();
        last_rank_ = 1;
        if (!installer_stopped_) ++members_reached_;
        return read_header(*current_) && visitor_.member(*current_);
    }
    if (place_.type == part_package || place_.type == part_bundle) {
        return odd("a second package header");
    }
    if (top.header_type == part_bundle && current_ == &top && place_.type == part_files) {
        return odd("does not belong in a bundle header");
    }
    if (!check_order(in_bundle_section)) return false;
    package_summary& s = *current_;
    switch (place_.type) {
        case part_description:
            s.has_description = true;
            return read_text(s.description, text_limit);
        case part_architecture:
            s.has_architecture = true;
            return read_text(s.architecture, text_limit);
        case part_depends:
            return read_relations(s.depends);
        case part_provides:
            return read_relations(s.provides);
        case part_conflicts:
            return read_relations(s.conflicts);
        case part_disabled_members:
            return read_relations(s.disabled);
        case part_oninstall:
            s.has_oninstall = true;
            s.oninstall_size = place_.length;
            return true;
        case part_onuninstall:
            s.has_onuninstall = true;
            s.onuninstall_size = place_.length;
            return true;
        case part_files:
            s.has_archive = true;
            s.archive_size = place_.length;
            return visitor_.archive(reader_, s, place_.offset);
        default:
            return true;
    }
}

bool walk::run(package_summary& top) {
    for (bool first = true;; first = false) {
        int type = reader_.next_part();
        if (type < 0) break;
        place_.type = static_cast<std::uint16_t>(type);
        place_.offset = reader_.payload_offset() - part_header_size;
        place_.length = reader_.part_length();
        end_ = static_cast<std::uint64_t>(reader_.payload_offset()) + place_.length;
        // A listing shows the files that are there before it reports the cut.
        bool past_end = input_.size_known() && end_ > input_.real_size();
        if (past_end && (strict_ || type != part_files)) return truncated();
        if (first) {
            if (type != part_package && type != part_bundle) {
                return fail("the first part must be a package or bundle header");
            }
            current_ = &top;
            last_rank_ = 1;
            if (!read_header(top)) return false;
            continue;
        }
        if (!take_part(top)) return false;
        if (past_end) return truncated();
    }
    return check_end(top);
}

bool walk::truncated() {
    return fail("payload of %u bytes runs past the end of the file (%llu bytes): truncated",
                place_.length, static_cast<unsigned long long>(input_.real_size()));
}

bool walk::check_end(const package_summary& top) {
    if (top.header_type == 0) {
        report(input_.path(), "holds no parts");
        return false;
    }
    if (input_.size_known() && end_ < input_.real_size()) {
        std::uint64_t left = input_.real_size() - end_;
        if (left < static_cast<std::uint64_t>(part_header_size)) {
            report(input_.path(), "part header cut off at offset %llu (%llu of 6 bytes)",
                   static_cast<unsigned long long>(end_), static_cast<unsigned long long>(left));
        } else {
            report(input_.path(), "cannot read the part header at offset %llu",
                   static_cast<unsigned long long>(end_));
        }
        return false;
    }
    // An installer fails a bundle of which it installs no member.
    if (top.header_type == part_bundle && members_reached_ == 0 && strict_) {
        report(input_.path(), top.members.empty()
                                  ? "bundle without members"
                                  : "bundle whose members installers never reach (a part out "
                                    "of order stands before them)");
        return false;
    }
    return true;
}

}  // namespace

bool walk_package(package_input& input, package_summary& top, package_visitor& visitor,
                  bool strict) {
    walk w(input, visitor, strict);
    return w.run(top);
}
