#include "bootsetup/package_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/container_bytes.h"

namespace {

using fixture::container_bytes;
using fixture::header_record_bytes;
using fixture::part_bytes;
using fixture::relation_list_bytes;

std::string header_part(const std::string& name) {
    return part_bytes(part_package, header_record_bytes(name, 0x01000000, 1));
}

std::string depends_part(const std::vector<std::string>& names) {
    std::vector<fixture::relation_fields> relations;
    for (const std::string& name : names) relations.push_back({name, 0x01000000, 0, 0});
    return part_bytes(part_depends, relation_list_bytes(relations));
}

// A fresh media directory holding the given files.
std::string media_directory(const std::vector<std::pair<std::string, std::string>>& files) {
    const std::string directory = fixture::scratch_path("media");
    std::filesystem::remove_all(directory);
    std::filesystem::create_directories(directory);
    for (const auto& [name, bytes] : files) fixture::write_file(directory + "/" + name, bytes);
    return directory;
}

struct load_result {
    bool loaded = false;
    std::string output;
};

load_result load(package_list& list, const std::string& directory, bool selected) {
    list.directory = directory.c_str();
    testing::internal::CaptureStdout();
    load_result result;
    result.loaded = load_packages(list, selected);
    std::fflush(stdout);
    result.output = testing::internal::GetCapturedStdout();
    return result;
}

std::vector<std::string> names_of(const package_list& list) {
    std::vector<std::string> names;
    for (const package_entry& entry : list.entries) names.push_back(entry.name);
    std::sort(names.begin(), names.end());
    return names;
}

TEST(package_list, reads_header_description_and_dependencies) {
    const std::string directory = media_directory({
        {"web.vsk", container_bytes(header_part("webadmin") +
                                    part_bytes(part_description, "Web administration") +
                                    part_bytes(part_files, "ignored") +
                                    depends_part({"system", "a-long-dependency-name"}))},
        {"bare.vsk", container_bytes(header_part("bare"))},
        {"nodesc.vsk", container_bytes(header_part("nodesc") + depends_part({"system"}))},
        {".vsk", container_bytes(header_part("dotonly"))},
        {"notes.txt", "not a package"},
        {"UPPER.VSK", "not looked at"},
    });
    package_list list;
    const load_result result = load(list, directory, true);
    ASSERT_TRUE(result.loaded) << result.output;
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(names_of(list), (std::vector<std::string>{"bare", "dotonly", "nodesc", "webadmin"}));

    const package_entry& web = list.entries[static_cast<std::size_t>(list.find("webadmin"))];
    EXPECT_EQ(std::string(web.path.text()), directory + "/web.vsk");
    EXPECT_STREQ(web.description.text(), "Web administration");
    ASSERT_EQ(web.dependencies.size(), 2u);
    EXPECT_STREQ(web.dependencies[0].text(), "system");
    EXPECT_STREQ(web.dependencies[1].text(), "a-long-dependenc");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(web.header), 32),
              header_record_bytes("webadmin", 0x01000000, 1));
    EXPECT_TRUE(web.selected);

    const package_entry& nodesc = list.entries[static_cast<std::size_t>(list.find("nodesc"))];
    EXPECT_STREQ(nodesc.description.text(), "");
    ASSERT_EQ(nodesc.dependencies.size(), 1u)
        << "a package without description keeps its dependencies";
    EXPECT_EQ(list.entries[static_cast<std::size_t>(list.find("bare"))].dependencies.size(), 0u);

    package_list unselected;
    ASSERT_TRUE(load(unselected, directory, false).loaded);
    for (const package_entry& entry : unselected.entries) EXPECT_FALSE(entry.selected);
}

TEST(package_list, more_packages_than_any_fixed_table) {
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 0; i < 120; ++i) {
        const std::string name = "p" + std::to_string(i);
        files.push_back({name + ".vsk", container_bytes(header_part(name))});
    }
    package_list list;
    ASSERT_TRUE(load(list, media_directory(files), false).loaded);
    EXPECT_EQ(list.count(), 120);
}

TEST(package_list, refuses_what_is_not_a_package) {
    const std::string good = container_bytes(header_part("good"));
    const std::string whole = container_bytes(header_part("cut") + depends_part({"a", "b", "c"}));
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"unknown magic", container_bytes(header_part("x"), 0x12345678)},
        {"empty file", ""},
        {"description before the header",
         container_bytes(part_bytes(part_description, "d") + header_part("x"))},
        {"header record cut short", container_bytes(part_bytes(part_package, "short"))},
        {"dependency list cut short", whole.substr(0, whole.size() - 40)},
        {"description longer than the file", container_bytes(header_part("x")) +
                                                 fixture::le16(part_description) +
                                                 fixture::le32(0x7fffffff) + "only this"},
    };
    for (const auto& c : cases) {
        const std::string directory = media_directory({{"bad.vsk", c.bytes}});
        package_list list;
        const load_result result = load(list, directory, false);
        EXPECT_FALSE(result.loaded) << c.what;
        EXPECT_EQ(result.output, "FATAL ERROR: Bad package " + directory + "/bad.vsk\n") << c.what;
    }
    // A directory of the name is not a package file either.
    const std::string directory = media_directory({{"good.vsk", good}});
    std::filesystem::create_directory(directory + "/dir.vsk");
    package_list list;
    EXPECT_FALSE(load(list, directory, false).loaded);
}

TEST(package_list, no_packages_found) {
    const std::string empty = media_directory({{"readme.txt", "x"}});
    const std::string missing = empty + "/missing";
    for (const std::string& directory : {empty, missing}) {
        package_list list;
        const load_result result = load(list, directory, false);
        EXPECT_FALSE(result.loaded) << directory;
        EXPECT_EQ(result.output, "FATAL ERROR: No packages found\n") << directory;
    }
}

}  // namespace
