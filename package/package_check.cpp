#include "package/package_check.h"

#include "base/format_text.h"
#include "package/archive_entry.h"
#include "package/entry_rules.h"
#include "package/format.h"
#include "package/header_reading.h"
#include "package/inflate_buffer.h"
#include "package/package_name.h"
#include "package/package_reader.h"
#include "package/package_record.h"

namespace {

const std::uint32_t checked_types[] = {
    part_package,   part_bundle,      part_disabled_members, part_architecture,
    part_depends,   part_provides,    part_conflicts,        part_files,
    part_oninstall, part_onuninstall,
};

class whole_check {
public:
    whole_check(in_stream& source, std::uint64_t real_size, byte_string& where)
        : reader_(source), real_size_(real_size), where_(where) {}

    const char* run();

private:
    const char* header(package_record& p);
    const char* body();
    const char* archive();
    void at_part() {
        where_ = format_text("part %d at offset %u", reader_.current_type(),
                             reader_.payload_offset() - part_header_size);
    }

    package_reader reader_;
    std::uint64_t real_size_;
    byte_string& where_;
};

const char* whole_check::header(package_record& p) {
    at_part();
    if (!read_header(p, reader_)) return "package header or relation list cut short";
    if (!valid_package_name(p.name)) return "package name is not acceptable";
    return nullptr;
}

const char* whole_check::archive() {
    at_part();
    inflate_buffer inflater(reader_.buffer());
    in_stream entries(&inflater);
    archive_entry entry;
    char scrap[16384];
    for (;;) {
        const entry_read got = read_entry(entries, entry);
        if (inflater.corrupt()) return "compressed data corrupt";
        if (got == entry_read::end) break;
        if (got == entry_read::broken) return "entry header or name cut short";
        if (const char* problem = entry_problem(entry)) {
            where_ = format_text("entry %s", entry.name.text());
            return problem;
        }
        for (std::uint32_t left = entry.size; left > 0;) {
            const std::uint32_t step = left < sizeof scrap ? left : sizeof scrap;
            entries.read(scrap, step);
            if (entries.last_count() != step) {
                where_ = format_text("entry %s", entry.name.text());
                return inflater.corrupt() ? "compressed data corrupt" : "data cut short";
            }
            left -= step;
        }
    }
    if (!inflater.finished()) return "compressed data ends before the end of its stream";
    return nullptr;
}

const char* whole_check::body() {
    // Scripts need no more than to be there, which the end offset shows.
    if (reader_.current_type() == part_oninstall) reader_.next_part();
    if (reader_.current_type() == part_onuninstall) reader_.next_part();
    if (reader_.current_type() == part_files) {
        if (const char* problem = archive()) return problem;
        reader_.next_part();
    }
    return nullptr;
}

const char* whole_check::run() {
    where_ = byte_string("header");
    if (!reader_.good()) return "not a package";
    if (reader_.total_size() != real_size_) return "declared size differs from the file size";
    for (const std::uint32_t type : checked_types) reader_.accept(type);
    reader_.next_part();
    package_record top;
    if (const char* problem = header(top)) return problem;
    if (!top.is_bundle) {
        if (const char* problem = body()) return problem;
    } else {
        if (reader_.current_type() == part_disabled_members) {
            at_part();
            array<relation> disabled;
            if (!read_relation_list(reader_, disabled)) return "relation list cut short";
            reader_.next_part();
        }
        while (reader_.current_type() == part_package) {
            package_record member;
            if (const char* problem = header(member)) return problem;
            if (const char* problem = body()) return problem;
        }
    }
    // The rest is passed over by an installer; it must still be there, and
    // end where the file ends.
    while (reader_.current_type() != -1) {
        if (reader_.failed()) return "part cut short";
        reader_.next_part();
    }
    where_ = format_text("offset %u", reader_.payload_offset());
    if (reader_.payload_offset() != real_size_) return "part cut short";
    return nullptr;
}

}  // namespace

const char* check_package(in_stream& source, std::uint64_t real_size, byte_string& where) {
    whole_check check(source, real_size, where);
    return check.run();
}
