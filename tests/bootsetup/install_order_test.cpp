#include "bootsetup/install_order.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "list_fixture.h"

namespace {

std::string paths_of(install_order& order) {
    std::string text;
    byte_string path;
    while (next_package_path(order, path))
        text += std::string(text.empty() ? "" : " ") + path.text();
    return text;
}

TEST(install_order, dependencies_first_each_once) {
    using list_fixture::package;
    const struct {
        const char* what;
        std::vector<package> packages;
        std::string order;
    } cases[] = {
        {"a chain pulls in what is not selected",
         {{"X", {"Y"}, true}, {"Y", {"Z"}}, {"Z", {}}},
         "/floppy/Z /floppy/Y /floppy/X"},
        {"independent packages keep directory order",
         {{"b", {}, true}, {"a", {}, true}, {"c", {}, false}},
         "/floppy/b /floppy/a"},
        {"a shared dependency comes once, before its first dependent",
         {{"web", {"base", "net"}, true}, {"net", {"base"}, true}, {"base", {}}},
         "/floppy/base /floppy/net /floppy/web"},
        {"a dependency on a missing package is skipped",
         {{"a", {"gone", "b"}, true}, {"b", {}}},
         "/floppy/b /floppy/a"},
        {"a cycle ends, every package once",
         {{"a", {"b"}, true}, {"b", {"a"}, true}},
         "/floppy/b /floppy/a"},
        {"names compare on 16 characters",
         {{"sixteen-chars-ab", {}}, {"user", {"sixteen-chars-abXYZ"}, true}},
         "/floppy/sixteen-chars-ab /floppy/user"},
        {"the first of two equal names is the one pulled in",
         {{"u", {"d"}, true}, {"d", {}}, {"d", {}}},
         "/floppy/d /floppy/u"},
        {"nothing selected", {{"a", {}}}, ""},
    };
    for (const auto& c : cases) {
        package_list list;
        list_fixture::fill(list, c.packages);
        install_order order;
        build_install_order(order, list);
        EXPECT_EQ(paths_of(order), c.order) << c.what;
    }
}

TEST(install_order, hands_out_paths_and_names_once) {
    package_list list;
    list_fixture::fill(list, {{"a-very-long-package-name", {}, true}, {"b", {}, true}});
    list.entries[1].path = std::string("/floppy/" + std::string(200, 'p') + ".vsk").c_str();
    install_order order;
    build_install_order(order, list);
    byte_string name("stale");
    current_package_name(order, name);
    EXPECT_STREQ(name.text(), "");

    byte_string path;
    ASSERT_TRUE(next_package_path(order, path));
    current_package_name(order, name);
    EXPECT_STREQ(name.text(), "a-very-long-pack");
    ASSERT_TRUE(next_package_path(order, path));
    EXPECT_EQ(path.length(), 8u + 200u + 4u) << "long paths are handed out whole";
    current_package_name(order, name);
    EXPECT_STREQ(name.text(), "b");
    EXPECT_FALSE(next_package_path(order, path));
    EXPECT_FALSE(next_package_path(order, path));

    order.position = 0;
    EXPECT_EQ(paths_of(order).substr(0, 33), "/floppy/a-very-long-package-name ");
}

}  // namespace
