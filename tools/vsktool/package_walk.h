#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/relation.h"

class package_input;
class package_reader;

// What the parts of one package (or one member of a bundle) say.
struct package_summary {
    std::uint16_t header_type = 0;
    std::string name;
    std::uint32_t version = 0;
    std::uint32_t revision = 0;
    bool has_architecture = false;
    std::string architecture;
    bool has_description = false;
    std::string description;
    std::vector<relation> depends;
    std::vector<relation> provides;
    std::vector<relation> conflicts;
    std::vector<relation> disabled;
    bool has_oninstall = false;
    std::uint32_t oninstall_size = 0;
    bool has_onuninstall = false;
    std::uint32_t onuninstall_size = 0;
    bool has_archive = false;
    std::uint32_t archive_size = 0;
    std::vector<package_summary> members;
};

// Called while the walk goes through a package; each returns false after
// reporting a failure, which ends the walk.
class package_visitor {
public:
    virtual ~package_visitor() = default;
    // A member header of a bundle was read.
    virtual bool member(const package_summary&) { return true; }
    // The reader stands at the start of the files part of the package or
    // member; part_offset is where that part's header lies.
    virtual bool archive(package_reader&, const package_summary&, std::uint32_t /*part_offset*/) {
        return true;
    }
    // Something odd that installers read past without refusing the package.
    virtual void oddity(const std::string&) {}
};

// Reads every part of an opened package into top, calling the visitor on
// the way. A package that cannot be read (a cut part, a missing header) is
// always a failure; strict also fails on what readers would quietly
// misread: relation lists whose length does not match their count, empty
// names, a bundle whose members an installer never reaches. Parts out of
// order, repeated or unknown, which installers pass over, are handed to the
// visitor as oddities when strict. False after reporting.
[[nodiscard]] bool walk_package(package_input& input, package_summary& top,
                                package_visitor& visitor, bool strict);
