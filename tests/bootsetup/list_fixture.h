#pragma once

// Package lists made in memory, for the rules that work on names and marks
// only; the path of each entry is "/floppy/" and its name.

#include <cstring>
#include <string>
#include <vector>

#include "bootsetup/package_list.h"

namespace list_fixture {

struct package {
    std::string name;
    std::vector<std::string> depends;
    bool selected = false;
    std::string description;
};

inline void fill(package_list& list, const std::vector<package>& packages) {
    list.directory = "/floppy";
    list.entries.clear();
    for (const package& p : packages) {
        package_entry& entry = list.entries.push_back(package_entry());
        std::strncpy(entry.name, p.name.c_str(), name_field_size);
        std::memcpy(entry.header, entry.name, name_field_size);
        entry.path = ("/floppy/" + p.name).c_str();
        entry.description = p.description.c_str();
        for (const std::string& d : p.depends) entry.dependencies.push_back(byte_string(d.c_str()));
        entry.selected = p.selected ? 1 : 0;
    }
}

inline std::string marks(const package_list& list) {
    std::string text;
    for (const package_entry& entry : list.entries) {
        if (entry.selected) text += std::string(text.empty() ? "" : " ") + entry.name;
    }
    return text;
}

}  // namespace list_fixture
