#pragma once

// The fixture packages of every test, described once:
//
//   builder::package_spec a{.name = "a", .version = builder::version(1, 0)};
//   a.files.push_back(builder::regular("/usr/bin/a", "#!/bin/sh\n"));
//
// write_package writes one through the project's own package_writer,
// deflate_buffer and write_entry, and can write what vsktool refuses to make
// (unsafe names, unknown entry kinds). vsktool_options gives the options that
// make the same package with the real vsktool, from a tree holding the files.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace builder {

constexpr std::uint32_t version(unsigned major, unsigned minor, unsigned number = 0,
                                char stage = 'f') {
    return (major << 24) | (minor << 16) | (static_cast<std::uint32_t>(stage) << 8) | number;
}

struct relation_spec {
    std::string name;
    std::uint32_t min = 0;
    std::uint32_t max = 0;
    std::int32_t priority = 0;
};

struct entry_spec {
    std::uint16_t mode = 0;
    std::string name;
    std::string data;
    std::uint16_t owner = 0;
    std::uint16_t group = 0;
    std::uint32_t time = 0;
};

entry_spec regular(const std::string& name, const std::string& data, std::uint16_t mode = 0644);
entry_spec directory(const std::string& name, std::uint16_t mode = 0755);
entry_spec symlink(const std::string& name, const std::string& target);

struct package_spec {
    std::string name;
    std::uint32_t version = 0;
    std::uint32_t revision = 0;
    std::string architecture;  // empty: no architecture part
    std::vector<relation_spec> depends;
    std::vector<relation_spec> provides;
    std::vector<relation_spec> conflicts;
    std::optional<std::string> oninstall;
    std::optional<std::string> onuninstall;
    std::vector<entry_spec> files;  // no archive part when empty
    std::string description;        // empty: no description part
    bool untracked = false;
};

struct bundle_spec {
    std::string name;
    std::uint32_t version = 0;
    std::uint32_t revision = 0;
    std::vector<relation_spec> depends;
    std::vector<relation_spec> disabled_members;
    std::vector<package_spec> members;
};

// False when the file could not be written whole.
bool write_package(const std::string& path, const package_spec& p);
bool write_bundle(const std::string& path, const bundle_spec& b);

// A version as package names show it, and a relation as vsktool takes it:
// NAME[:MIN[:MAX[:PRIORITY]]].
std::string version_text(std::uint32_t version);
std::string relation_text(const relation_spec& r);

// "vsktool build" options for everything of the package but its files and
// scripts (the caller has them on disk): name, version, revision,
// architecture, relations, description and untracked.
std::vector<std::string> vsktool_options(const package_spec& p);

}  // namespace builder
