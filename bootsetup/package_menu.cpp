#include "bootsetup/package_menu.h"

#include <cstdio>
#include <cstring>

#include "base/file_streams.h"
#include "bootsetup/prompts.h"
#include "bootsetup/screen.h"
#include "bootsetup/terminal.h"

namespace {

const char* const menu_title = "Welcome to Tarnvale Router Software installation\n";
const char* const menu_help =
    "Move around menu using 'p' and 'n' or arrow keys, select with 'spacebar'. "
    "Select all with 'a', minimum with 'm'. Press 'i' to install locally or 'r' to install "
    "remote router or 'q' to cancel and reboot.";
const char* const leading_packages[] = {"system", "ppp", "dhcp"};
constexpr int information_rows = 3;

package_entry& entry_at(package_list& list, int i) {
    return list.entries[static_cast<std::size_t>(i)];
}

// A name of a dependency record, at most the 16 characters of its field.
void append_name(byte_string& line, const byte_string& name) {
    const std::size_t length = name.length();
    line.append(name.text(), length < name_field_size ? length : name_field_size);
}

bool depends_on_name(const package_entry& entry, const char* name) {
    for (const byte_string& dependency : entry.dependencies) {
        if (same_name(dependency.text(), name)) return true;
    }
    return false;
}

void draw_information(const package_entry& entry) {
    for (int row = menu_information_row; row < menu_information_row + information_rows; ++row) {
        move_cursor(0, row);
        clear_line();
    }
    move_cursor(0, menu_information_row);
    const byte_string line = information_line(entry);
    print_line(line.text(), static_cast<int>(line.length()), false);
    print_wrapped(entry.description.text(), false);
}

void draw_current_information(package_menu& menu) {
    if (menu.grid.count == 0) return;
    const auto* item = menu.grid.items[static_cast<std::size_t>(menu.grid.current)];
    draw_information(*static_cast<const package_entry*>(item));
}

int current_entry_index(package_menu& menu) {
    const auto* item = static_cast<const package_entry*>(
        menu.grid.items[static_cast<std::size_t>(menu.grid.current)]);
    return static_cast<int>(item - menu.list.entries.begin());
}

void draw_menu_screen(package_menu& menu) {
    clear_screen();
    set_cursor_hidden(true);
    set_attributes(attribute_bold);
    print_lines(menu_title, true);
    set_attributes(0);
    print_wrapped(menu_help, false);
    grid_draw_all(menu.grid);
    minimum_selection(menu.list);
    grid_draw_all(menu.grid);
    draw_current_information(menu);
}

}  // namespace

package_menu::package_menu(const char* directory) {
    list.directory = directory;
    keys_mode();
}

array<int> display_order(const package_list& list) {
    array<int> order;
    array<unsigned char> placed;
    for (int i = 0; i < list.count(); ++i) placed.push_back(0);
    for (const char* name : leading_packages) {
        const int found = list.find(name);
        if (found >= 0 && !placed[static_cast<std::size_t>(found)]) {
            order.push_back(found);
            placed[static_cast<std::size_t>(found)] = 1;
        }
    }
    const std::size_t sorted_from = order.size();
    // Insertion keeps equal names in directory order.
    for (int i = 0; i < list.count(); ++i) {
        if (placed[static_cast<std::size_t>(i)]) continue;
        const char* name = list.entries[static_cast<std::size_t>(i)].name;
        std::size_t at = order.size();
        while (at > sorted_from &&
               std::strncmp(list.entries[static_cast<std::size_t>(order[at - 1])].name, name,
                            name_field_size) > 0) {
            --at;
        }
        order.insert(at, i);
    }
    return order;
}

void apply_default_selection(package_list& list) {
    const byte_string path = byte_string(list.directory) + "/defpacks";
    file_in_stream file(path.text());
    if (!file.is_open()) return;
    byte_string word;
    for (;;) {
        file >> word;
        if (file.failed()) break;
        const int found = list.find(word.text());
        if (found >= 0) entry_at(list, found).selected = 1;
    }
}

void toggle_package(package_list& list, int i) {
    package_entry& entry = entry_at(list, i);
    if (!entry.selected) {
        entry.selected = 1;
        // Every package of a needed name, not just the first: the user then
        // sees all the files that could supply it.
        for (const byte_string& dependency : entry.dependencies) {
            for (package_entry& other : list.entries) {
                if (same_name(other.name, dependency.text())) other.selected = 1;
            }
        }
        return;
    }
    if (std::strcmp(entry.name, "system") == 0) return;
    entry.selected = 0;
    for (package_entry& other : list.entries) {
        if (depends_on_name(other, entry.name)) other.selected = 0;
    }
}

void select_all(package_list& list) {
    for (package_entry& entry : list.entries) entry.selected = 1;
}

void minimum_selection(package_list& list) {
    for (package_entry& entry : list.entries) entry.selected = 0;
    const int system = list.find("system");
    if (system >= 0) entry_at(list, system).selected = 1;
}

byte_string information_line(const package_entry& entry) {
    byte_string line(entry.name);
    line.append(" (depends on ");
    if (entry.dependencies.empty()) line.append("nothing");
    const std::size_t head = line.length();
    for (std::size_t i = 0; i < entry.dependencies.size(); ++i) {
        if (i > 0) line.append(", ");
        append_name(line, entry.dependencies[i]);
    }
    line.append("):");
    if (line.length() <= information_area) return line;
    // Too long for its area: the names that fit whole, and a sign that more
    // follow, so that the line still reads as a list and is closed.
    line.resize(head);
    const std::size_t tail = std::strlen(", ...):");
    for (std::size_t i = 0; i < entry.dependencies.size(); ++i) {
        byte_string piece(i > 0 ? ", " : "");
        append_name(piece, entry.dependencies[i]);
        if (line.length() + piece.length() + tail > information_area) break;
        line.append(piece);
    }
    line.append(line.length() == head ? "...):" : ", ...):");
    return line;
}

bool menu_wants_remote(const package_menu& menu) {
    return menu.remote != 0;
}

bool run_package_menu(package_menu& menu) {
    const array<int> order = display_order(menu.list);
    apply_default_selection(menu.list);
    array<const grid_item*> items;
    for (const int i : order) items.push_back(&entry_at(menu.list, i));
    grid_init(menu.grid, items.begin(), static_cast<int>(items.size()), menu_grid_row,
              menu_information_row - menu_grid_row);
    draw_menu_screen(menu);
    menu.remote = 0;
    for (;;) {
        const int key = read_menu_key();
        bool moved = false;
        switch (key) {
            case key_up:
            case 'p':
            case 'P':
                moved = grid_up(menu.grid);
                break;
            case key_down:
            case 'n':
            case 'N':
                moved = grid_down(menu.grid);
                break;
            case key_left:
                moved = grid_left(menu.grid);
                break;
            case key_right:
                moved = grid_right(menu.grid);
                break;
            case ' ':
                if (menu.grid.count > 0) toggle_package(menu.list, current_entry_index(menu));
                grid_draw_all(menu.grid);
                break;
            case 'a':
            case 'A':
                select_all(menu.list);
                grid_draw_all(menu.grid);
                break;
            case 'm':
            case 'M':
                minimum_selection(menu.list);
                grid_draw_all(menu.grid);
                break;
            case 'r':
            case 'R':
                menu.remote = 1;
                move_cursor(0, menu_park_row);
                return true;
            case 'i':
            case 'I':
                move_cursor(0, menu_park_row);
                return true;
            // A console that has gone away can no longer choose; leaving as
            // with 'q' ends the flow instead of spinning on the closed input.
            case key_end:
            case 'q':
            case 'Q':
                move_cursor(0, menu_park_row);
                return false;
            default:
                break;
        }
        if (moved) draw_current_information(menu);
    }
}
