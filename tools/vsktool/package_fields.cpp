#include "tools/vsktool/package_fields.h"

#include "package/format.h"
#include "package/header_record.h"
#include "package/package_writer.h"
#include "package/relation_list.h"
#include "package/version.h"
#include "tools/vsktool/options.h"

std::vector<option> shared_options() {
    return {
        {"name", required_argument, nullptr, option_name},
        {"version", required_argument, nullptr, option_version},
        {"revision", required_argument, nullptr, option_revision},
        {"untracked", no_argument, nullptr, option_untracked},
        {"arch", required_argument, nullptr, option_arch},
        {"description", required_argument, nullptr, option_description},
        {"depends", required_argument, nullptr, option_depends},
        {"provides", required_argument, nullptr, option_provides},
        {"conflicts", required_argument, nullptr, option_conflicts},
        {"help", no_argument, nullptr, option_help},
        {nullptr, 0, nullptr, 0},
    };
}

namespace {

// A relation list holds a 16-bit count.
constexpr std::size_t relation_limit = 0xffff;

int take_relation(const char* option_text, const char* value, std::vector<relation>& list,
                  const char* usage) {
    relation r;
    std::string why = parse_relation(value, r);
    if (!why.empty()) return usage_error(usage, "%s \"%s\": %s", option_text, value, why.c_str());
    if (list.size() == relation_limit) {
        return usage_error(usage, "%s: more than %zu relations", option_text, relation_limit);
    }
    list.push_back(r);
    return 1;
}

}  // namespace

int take_shared_option(int code, const char* value, package_fields& fields, const char* usage) {
    switch (code) {
        case option_name:
            if (const char* why = bad_name_reason(value)) {
                return usage_error(usage, "--name \"%s\" %s", value, why);
            }
            fields.name = value;
            return 1;
        case option_version:
            if (!parse_version(value, &fields.version)) {
                return usage_error(usage, "--version \"%s\" is not a version (e.g. 2.9.5, 3.0rc3)",
                                   value);
            }
            fields.has_version = true;
            return 1;
        case option_revision:
            if (!parse_number(value, &fields.revision)) {
                return usage_error(usage, "--revision \"%s\" is not a number", value);
            }
            return 1;
        case option_untracked:
            fields.untracked = true;
            return 1;
        case option_arch:
            if (*value == '\0') return usage_error(usage, "--arch needs a name");
            fields.has_architecture = true;
            fields.architecture = value;
            return 1;
        case option_description:
            fields.has_description = true;
            fields.description = value;
            return 1;
        case option_depends:
            return take_relation("--depends", value, fields.depends, usage);
        case option_provides:
            return take_relation("--provides", value, fields.provides, usage);
        case option_conflicts:
            return take_relation("--conflicts", value, fields.conflicts, usage);
        default:
            return 0;
    }
}

int check_fields(const package_fields& fields, const char* usage) {
    if (fields.name.empty()) return usage_error(usage, "--name is required");
    if (!fields.has_version) return usage_error(usage, "--version is required");
    return exit_ok;
}

namespace {

void write_text_part(package_writer& writer, std::uint16_t type, const std::string& text) {
    writer.begin_part(type);
    writer.write(text.data(), static_cast<std::int64_t>(text.size()));
    writer.end_part();
}

}  // namespace

void write_relation_part(package_writer& writer, std::uint16_t type,
                         const std::vector<relation>& list) {
    if (list.empty()) return;
    writer.begin_part(type);
    write_relation_list(writer, list.data(), list.size());
    writer.end_part();
}

void write_description_parts(package_writer& writer, std::uint16_t header_type,
                             const package_fields& fields) {
    header_record record;
    record.name.assign(fields.name.data(), fields.name.size());
    record.version = fields.version;
    record.revision = fields.revision;
    writer.begin_part(header_type);
    write_header_record(writer, record);
    writer.end_part();

    if (fields.has_description) write_text_part(writer, part_description, fields.description);
    if (fields.has_architecture) write_text_part(writer, part_architecture, fields.architecture);
    write_relation_part(writer, part_depends, fields.depends);
    write_relation_part(writer, part_provides, fields.provides);
    write_relation_part(writer, part_conflicts, fields.conflicts);
}
