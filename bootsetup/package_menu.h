#pragma once

#include "base/array.h"
#include "bootsetup/menu_grid.h"
#include "bootsetup/package_list.h"

// The full-screen package menu over one media directory.
class package_menu {
public:
    // Switches the console to keys mode.
    explicit package_menu(const char* directory);

    package_list list;
    menu_grid grid;
    unsigned char remote = 0;
};

// Screen rows of the menu.
inline constexpr int menu_grid_row = 7;
inline constexpr int menu_information_row = 21;
inline constexpr int menu_park_row = 25;

// false when the user cancelled, true when the user chose to install.
[[nodiscard]] bool run_package_menu(package_menu& menu);
// After run_package_menu returned true: remote (true) or local installation.
[[nodiscard]] bool menu_wants_remote(const package_menu& menu);

// The selection rules of the menu, on entry indexes of the list.
// "system", "ppp" and "dhcp" first, then the rest by name, ties in
// directory order.
array<int> display_order(const package_list& list);
void apply_default_selection(package_list& list);
void toggle_package(package_list& list, int i);
void select_all(package_list& list);
void minimum_selection(package_list& list);
// The first information line: the name, " (depends on ", the dependencies
// joined by ", " (or "nothing") and "):". It is printed whole and the console
// wraps it; only a line longer than its area is shortened, to the names that
// fit and ", ...):".
inline constexpr std::size_t information_area = 160;
byte_string information_line(const package_entry& entry);
