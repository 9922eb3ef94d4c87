#include "tests/support/package_builder.h"

#include "base/out_stream.h"
#include "package/archive_entry.h"
#include "package/deflate_buffer.h"
#include "package/format.h"
#include "package/package_writer.h"
#include "package/version.h"

namespace builder {

namespace {

std::string name_field(const std::string& name) {
    std::string field = name.substr(0, name_field_size);
    field.resize(name_field_size, '\0');
    return field;
}

std::string u32_bytes(std::uint32_t value) {
    unsigned char raw[4];
    store_u32(raw, value);
    return std::string(reinterpret_cast<char*>(raw), 4);
}

std::string header_record(const std::string& name, std::uint32_t version, std::uint32_t revision) {
    return name_field(name) + u32_bytes(version) + u32_bytes(revision) + std::string(8, '\0');
}

std::string relation_list(const std::vector<relation_spec>& list) {
    unsigned char count[2];
    store_u16(count, static_cast<std::uint16_t>(list.size()));
    std::string bytes(reinterpret_cast<char*>(count), 2);
    for (const relation_spec& r : list) {
        bytes += name_field(r.name) + u32_bytes(r.min) + u32_bytes(0) + u32_bytes(r.max) +
                 u32_bytes(static_cast<std::uint32_t>(r.priority));
    }
    return bytes;
}

void part(package_writer& out, std::uint16_t type, const std::string& payload) {
    out.begin_part(type);
    out.write(payload.data(), static_cast<std::int64_t>(payload.size()));
    out.end_part();
}

void relations(package_writer& out, std::uint16_t type, const std::vector<relation_spec>& list) {
    if (!list.empty()) part(out, type, relation_list(list));
}

bool archive(package_writer& out, const std::vector<entry_spec>& files) {
    out.begin_part(part_files);
    deflate_buffer compressed(out.buffer());
    out_stream entries(&compressed);
    for (const entry_spec& f : files) {
        archive_entry entry;
        entry.mode = f.mode;
        entry.owner = f.owner;
        entry.group = f.group;
        entry.time = f.time;
        entry.size = static_cast<std::uint32_t>(f.data.size());
        entry.name = byte_string(f.name.data(), f.name.size());
        write_entry(entries, entry);
        entries.write(f.data.data(), static_cast<std::int64_t>(f.data.size()));
    }
    const bool whole = entries.good() && compressed.finish();
    out.end_part();
    return whole;
}

bool package_parts(package_writer& out, const package_spec& p) {
    part(out, part_package, header_record(p.name, p.version, p.revision));
    if (!p.description.empty()) part(out, part_description, p.description);
    if (!p.architecture.empty()) part(out, part_architecture, p.architecture);
    relations(out, part_depends, p.depends);
    relations(out, part_provides, p.provides);
    relations(out, part_conflicts, p.conflicts);
    if (p.oninstall) part(out, part_oninstall, *p.oninstall);
    if (p.onuninstall) part(out, part_onuninstall, *p.onuninstall);
    if (!p.files.empty() && !archive(out, p.files)) return false;
    return out.good();
}

}  // namespace

entry_spec regular(const std::string& name, const std::string& data, std::uint16_t mode) {
    return entry_spec{static_cast<std::uint16_t>(entry_regular | mode), name, data};
}

entry_spec directory(const std::string& name, std::uint16_t mode) {
    return entry_spec{static_cast<std::uint16_t>(entry_directory | mode), name, ""};
}

entry_spec symlink(const std::string& name, const std::string& target) {
    return entry_spec{static_cast<std::uint16_t>(entry_symlink | 0777), name, target};
}

bool write_package(const std::string& path, const package_spec& p) {
    package_writer out(path.c_str(), p.untracked);
    if (!package_parts(out, p)) return false;
    out.finish();
    const bool whole = out.good();
    out.close();
    return whole;
}

bool write_bundle(const std::string& path, const bundle_spec& b) {
    package_writer out(path.c_str(), false);
    part(out, part_bundle, header_record(b.name, b.version, b.revision));
    relations(out, part_depends, b.depends);
    relations(out, part_disabled_members, b.disabled_members);
    for (const package_spec& m : b.members) {
        if (!package_parts(out, m)) return false;
    }
    out.finish();
    const bool whole = out.good();
    out.close();
    return whole;
}

std::string version_text(std::uint32_t version) {
    return ::version_text(version);
}

std::string relation_text(const relation_spec& r) {
    std::vector<std::string> fields = {r.name, r.min ? version_text(r.min) : "",
                                       r.max ? version_text(r.max) : "",
                                       r.priority ? std::to_string(r.priority) : ""};
    while (fields.back().empty()) fields.pop_back();
    std::string text = fields[0];
    for (std::size_t i = 1; i < fields.size(); ++i) text += ":" + fields[i];
    return text;
}

std::vector<std::string> vsktool_options(const package_spec& p) {
    std::vector<std::string> options{"--name",     p.name,
                                     "--version",  version_text(p.version),
                                     "--revision", std::to_string(p.revision)};
    if (!p.architecture.empty()) options.insert(options.end(), {"--arch", p.architecture});
    for (const relation_spec& r : p.depends)
        options.insert(options.end(), {"--depends", relation_text(r)});
    for (const relation_spec& r : p.provides)
        options.insert(options.end(), {"--provides", relation_text(r)});
    for (const relation_spec& r : p.conflicts)
        options.insert(options.end(), {"--conflicts", relation_text(r)});
    if (!p.description.empty()) options.insert(options.end(), {"--description", p.description});
    if (p.untracked) options.push_back("--untracked");
    return options;
}

}  // namespace builder
