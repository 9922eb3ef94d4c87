#include "bootsetup/package_menu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "console_session.h"
#include "list_fixture.h"
#include "screen_model.h"
#include "tests/support/container_bytes.h"

namespace {

using list_fixture::package;

// The marked names in name order, whatever order the directory gave.
std::string sorted_marks(const package_list& list) {
    std::vector<std::string> names;
    for (const package_entry& entry : list.entries) {
        if (entry.selected) names.push_back(entry.name);
    }
    std::sort(names.begin(), names.end());
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : " ") + name;
    return text;
}

std::string names_in(const package_list& list, const array<int>& order) {
    std::string text;
    for (const int i : order) {
        text +=
            std::string(text.empty() ? "" : " ") + list.entries[static_cast<std::size_t>(i)].name;
    }
    return text;
}

TEST(package_menu, display_order) {
    const struct {
        std::vector<package> packages;
        std::string order;
    } cases[] = {
        {{{"W"}, {"system"}, {"dhcp"}, {"A"}, {"ppp"}}, "system ppp dhcp A W"},
        {{{"b"}, {"a"}, {"c"}}, "a b c"},
        {{{"dhcp"}, {"zz"}}, "dhcp zz"},
        // Only the first "system" leads; a second one sorts with the rest.
        {{{"x"}, {"system"}, {"system"}}, "system system x"},
        {{{"Z"}, {"a"}, {"B"}}, "B Z a"},
    };
    for (const auto& c : cases) {
        package_list list;
        list_fixture::fill(list, c.packages);
        EXPECT_EQ(names_in(list, display_order(list)), c.order);
    }
    // Equal names keep directory order: told apart by their paths.
    package_list list;
    list_fixture::fill(list, {{"same"}, {"other"}, {"same"}});
    list.entries[2].path = "/floppy/second";
    const array<int> order = display_order(list);
    EXPECT_EQ(order[1], 0);
    EXPECT_EQ(order[2], 2);
}

TEST(package_menu, selection_rules) {
    const std::vector<package> chain = {{"system"}, {"X", {"Y"}}, {"Y", {"Z"}},
                                        {"Z"},      {"W", {"X"}}, {"V", {"nowhere"}}};
    const struct {
        const char* what;
        std::vector<std::string> marked;  // before
        std::vector<std::string> toggles;
        std::string after;
    } cases[] = {
        {"marking pulls in direct dependencies only", {}, {"X"}, "X Y"},
        {"a dependency that names no package is ignored", {}, {"V"}, "V"},
        {"system stays marked", {"system"}, {"system"}, "system"},
        {"unmarking takes direct dependents along", {"X", "Y", "W"}, {"Y"}, "W"},
        {"unmarking a leaf", {"system", "Z"}, {"Z"}, "system"},
    };
    for (const auto& c : cases) {
        package_list list;
        list_fixture::fill(list, chain);
        for (const std::string& name : c.marked)
            list.entries[static_cast<std::size_t>(list.find(name.c_str()))].selected = 1;
        for (const std::string& name : c.toggles) toggle_package(list, list.find(name.c_str()));
        EXPECT_EQ(list_fixture::marks(list), c.after) << c.what;
    }

    // Two files of one needed name: marking the dependent marks both.
    package_list twice;
    list_fixture::fill(twice, {{"app", {"lib"}}, {"lib"}, {"lib"}});
    toggle_package(twice, twice.find("app"));
    EXPECT_EQ(list_fixture::marks(twice), "app lib lib");

    package_list list;
    list_fixture::fill(list, chain);
    select_all(list);
    EXPECT_EQ(list_fixture::marks(list), "system X Y Z W V");
    minimum_selection(list);
    EXPECT_EQ(list_fixture::marks(list), "system");
    list_fixture::fill(list, {{"a", {}, true}, {"systemd", {}, true}});
    minimum_selection(list);
    EXPECT_EQ(list_fixture::marks(list), "") << "without a system package nothing stays marked";
}

TEST(package_menu, information_line) {
    // Names that fill their 16 characters: eight of them after a name of
    // three make exactly 160 characters.
    std::vector<std::string> full;
    for (int i = 0; i < 12; ++i) full.push_back(std::string(15, 'd') + static_cast<char>('a' + i));
    const auto first = [&](int count) {
        return std::vector<std::string>(full.begin(), full.begin() + count);
    };
    const auto joined = [&](int count) {
        std::string text;
        for (int i = 0; i < count; ++i)
            text += (i > 0 ? ", " : "") + full[static_cast<std::size_t>(i)];
        return text;
    };
    const struct {
        package p;
        std::string line;
    } cases[] = {
        {{"R", {"system"}}, "R (depends on system):"},
        {{"lonely"}, "lonely (depends on nothing):"},
        {{"web", {"system", "a-very-long-dependency"}},
         "web (depends on system, a-very-long-depe):"},
        // Past the screen width the console wraps it.
        {{"wide", first(5)}, "wide (depends on " + joined(5) + "):"},
        {{"pqr", first(8)}, "pqr (depends on " + joined(8) + "):"},
        // One character more: the names that fit whole before ", ...):".
        {{"pqrs", first(8)}, "pqrs (depends on " + joined(7) + ", ...):"},
        {{"big", full}, "big (depends on " + joined(7) + ", ...):"},
    };
    for (const auto& c : cases) {
        package_list list;
        list_fixture::fill(list, {c.p});
        const std::string line = information_line(list.entries[0]).text();
        EXPECT_EQ(line, c.line);
        EXPECT_LE(line.size(), information_area);
    }
}

// Media with five packages; "defpacks" names two of them.
class package_menu_screen : public testing::Test {
protected:
    void SetUp() override {
        directory = fixture::scratch_path("menu-media");
        std::filesystem::create_directories(directory);
        add("W", "Web pages", {});
        add("system", "The base system", {});
        add("dhcp", "", {"system"});
        add("A", "Adds things", {"W"});
        add("ppp", "Point to point", {"system"});
        fixture::write_file(directory + "/defpacks", "A\nW unknown\n");
    }
    void TearDown() override { std::filesystem::remove_all(directory); }

    void add(const std::string& name, const std::string& description,
             const std::vector<std::string>& depends) {
        std::string parts =
            fixture::part_bytes(part_package, fixture::header_record_bytes(name, 1, 0));
        if (!description.empty()) parts += fixture::part_bytes(part_description, description);
        std::vector<fixture::relation_fields> relations;
        for (const std::string& d : depends) relations.push_back({d});
        parts += fixture::part_bytes(part_depends, fixture::relation_list_bytes(relations));
        fixture::write_file(directory + "/" + name + ".vsk", fixture::container_bytes(parts));
    }

    // Runs the menu with the keys; the report is the result and the marks.
    console_test::session_result run_menu(const std::string& keys) {
        const std::string media = directory;
        return console_test::run_on_pty(
            [media] {
                package_menu menu(media.c_str());
                if (!load_packages(menu.list, false)) return;
                const bool install = run_package_menu(menu);
                console_test::report(std::string(install ? "install" : "cancel") +
                                     (menu_wants_remote(menu) ? " remote" : " local") + ": " +
                                     sorted_marks(menu.list));
            },
            {{"(depends on", keys}});
    }

    std::string directory;
};

TEST_F(package_menu_screen, opens_with_the_minimum_selection) {
    const auto run = run_menu("q");
    ASSERT_TRUE(console_test::exited_with(run, 0));
    EXPECT_EQ(run.report, "cancel local: system");

    const std::string title = "Welcome to Tarnvale Router Software installation";
    const std::string head = "\033[2J\033[H\033[?25l\033[m\033[1m" + std::string(16, ' ') + title +
                             "\n" + std::string(40, ' ') + "\n\033[m" +
                             "Move around menu using 'p' and 'n' or arrow keys, select with "
                             "'spacebar'. \n"
                             "Select all with 'a', minimum with 'm'. Press 'i' to install "
                             "locally or 'r' to \n"
                             "install remote router or 'q' to cancel and reboot. \n";
    EXPECT_EQ(run.output.substr(0, head.size()), head);
    // The first drawing shows the default selection file's marks; the
    // minimum selection then replaces them.
    EXPECT_NE(run.output.find("\033[8;26H  [X] A "), std::string::npos);
    EXPECT_EQ(run.output.substr(run.output.size() - 7), "\033[25;0H");

    const console_test::screen_model screen(run.output);
    EXPECT_EQ(screen.line(1), std::string(16, ' ') + title);
    EXPECT_EQ(screen.looks(1), std::string(16 + title.size(), 'B'));
    EXPECT_EQ(screen.line(6), "");
    EXPECT_EQ(screen.line(7), "  [X] system" + std::string(13, ' ') + "  [ ] dhcp" +
                                  std::string(16, ' ') + "  [ ] W");
    EXPECT_EQ(screen.line(8), "  [ ] ppp" + std::string(16, ' ') + "  [ ] A");
    EXPECT_EQ(screen.looks(7).substr(0, 13), " RRRRRRRRRRRR");
    EXPECT_EQ(screen.line(21), "system (depends on nothing):");
    EXPECT_EQ(screen.line(22), "The base system");
    EXPECT_FALSE(screen.cursor_visible);
}

TEST_F(package_menu_screen, keys_move_select_and_install) {
    // Down to ppp and mark it, right to A and mark it (which marks W), up
    // with 'p' to dhcp, then install here.
    const auto run = run_menu("n \033[C p\033[Xi");
    ASSERT_TRUE(console_test::exited_with(run, 0));
    EXPECT_EQ(run.report, "install local: A W ppp system");
    const console_test::screen_model screen(run.output);
    EXPECT_EQ(screen.line(7), "  [X] system" + std::string(13, ' ') + "  [ ] dhcp" +
                                  std::string(16, ' ') + "  [X] W");
    EXPECT_EQ(screen.line(8), "  [X] ppp" + std::string(16, ' ') + "  [X] A");
    EXPECT_EQ(screen.line(21), "dhcp (depends on system):");
    EXPECT_EQ(screen.line(22), "");
    EXPECT_EQ(screen.looks(7).substr(25, 11), " RRRRRRRRRR");
}

TEST_F(package_menu_screen, select_all_minimum_and_cancel) {
    const struct {
        const char* keys;
        std::string report;
    } cases[] = {
        {"a", "install local: A W dhcp ppp system"},
        {"AM", "install local: system"},
        {" ", "install local: system"},
        {"r", "install remote: system"},
        {"aR", "install remote: A W dhcp ppp system"},
        {"Q", "cancel local: system"},
    };
    for (const auto& c : cases) {
        const std::string keys = std::string(c.keys) + (c.report.starts_with("cancel") ? "" : "I");
        EXPECT_EQ(run_menu(keys).report, c.report) << c.keys;
    }
}

TEST_F(package_menu_screen, closed_console_cancels) {
    const std::string media = directory;
    const auto run = console_test::run_on_pipes([media] {
        package_menu menu(media.c_str());
        if (!load_packages(menu.list, false)) return;
        console_test::report(run_package_menu(menu) ? "install" : "cancel");
    });
    EXPECT_EQ(run.report, "cancel");
}

TEST_F(package_menu_screen, a_long_dependency_list_wraps_onto_the_next_row) {
    add("wide", "Wide one",
        {"system", "ppp", "dhcp", "gateway-firewall", "name-server-cache", "traffic-shaper", "W"});
    // Display order: system ppp dhcp A W wide.
    const auto run = run_menu("nnnnnq");
    ASSERT_TRUE(console_test::exited_with(run, 0));
    const std::string line =
        "wide (depends on system, ppp, dhcp, gateway-firewall, name-server-cach, traffic-shaper, "
        "W):";
    const console_test::screen_model screen(run.output);
    EXPECT_EQ(screen.line(21), line.substr(0, 80));
    EXPECT_EQ(screen.line(22), line.substr(80));
    EXPECT_EQ(screen.line(23), "Wide one");
}

TEST_F(package_menu_screen, many_packages_scroll_above_the_information_lines) {
    for (int i = 0; i < 60; ++i) add("pkg" + std::to_string(100 + i), "", {});
    // 65 packages make 22 grid rows, of which 14 fit; down to the last
    // row of the first block (display order: system ppp dhcp A W pkg100...).
    const auto run = run_menu(std::string(21, 'n') + "q");
    ASSERT_TRUE(console_test::exited_with(run, 0));
    const console_test::screen_model screen(run.output);
    EXPECT_EQ(screen.line(7).substr(0, 12), "  [ ] pkg103");
    EXPECT_EQ(screen.line(20).substr(0, 12), "  [ ] pkg116");
    EXPECT_EQ(screen.line(21), "pkg116 (depends on nothing):");
}

}  // namespace
