#pragma once

#include <cstdint>

#include "base/array.h"
#include "base/byte_string.h"
#include "base/list.h"
#include "base/tree.h"
#include "package/relation.h"

// The base of every package kind: identity, architecture and relations, and
// for a bundle read by the store scan its member headers (owned).
class package_record {
public:
    package_record() = default;
    package_record(const package_record&) = delete;
    package_record& operator=(const package_record&) = delete;
    virtual ~package_record();

    byte_string name;
    std::uint32_t version = 0;
    std::uint32_t revision = 0;
    byte_string architecture;
    array<relation> depends;
    array<relation> provides;
    array<relation> conflicts;
    bool is_bundle = false;
    list<package_record*> members;
};

// A package file waiting in the store.
class package_file : public package_record {
public:
    byte_string path;
    // Where the file goes back to when it was moved; empty otherwise.
    byte_string return_path;
    // The total size the container declares.
    std::uint32_t size = 0;
};

enum pending_action : std::uint32_t {
    action_none = 0,
    action_uninstall = 1,
    action_enable = 2,
    action_disable = 3,
};

// The words for the pending actions, indexed by their value.
extern const char* const pending_action_words[4];

// An entry of the package database.
class installed_package : public package_record {
public:
    // Absolute paths of the non-directory files the package installed.
    tree_set<byte_string> files;
    byte_string bundle_name;
    // The bundle's version as installed in this run; 0 when loaded.
    std::uint32_t bundle_version = 0;
    bool disabled = false;
    std::uint32_t pending = action_none;
};

// name + "-" + version text.
byte_string package_label(const package_record& p);
// Bundle name, then "-" and the bundle version when that is not 0.
byte_string bundle_label(const installed_package& p);
