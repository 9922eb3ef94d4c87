#include "bootsetup/menu_grid.h"

#include <cstdio>

#include "bootsetup/screen.h"

void grid_init(menu_grid& grid, const grid_item* const* items, int count, int top_row,
               int max_rows) {
    grid.items.clear();
    for (int i = 0; i < count; ++i) grid.items.push_back(items[i]);
    grid.count = count;
    grid.current = 0;
    grid.top_row = top_row;
    grid.columns = grid_columns;
    grid.rows = (count + grid_columns - 1) / grid_columns;
    grid.visible_rows = grid.rows < max_rows ? grid.rows : max_rows;
    if (grid.visible_rows < 1) grid.visible_rows = 1;
    grid.first_row = 0;
}

namespace {

bool is_visible(const menu_grid& grid, int i) {
    const int row = i % grid.rows;
    return row >= grid.first_row && row < grid.first_row + grid.visible_rows;
}

// Brings the current item into the window; true when the window moved.
bool follow_current(menu_grid& grid) {
    const int row = grid.current % grid.rows;
    int first = grid.first_row;
    if (row < first) first = row;
    if (row >= first + grid.visible_rows) first = row - grid.visible_rows + 1;
    if (first == grid.first_row) return false;
    grid.first_row = first;
    return true;
}

// A moved window shows other items at the same places and leaves places of
// the short last block empty, so the rows are cleared before drawing.
void redraw_window(const menu_grid& grid) {
    for (int row = 0; row < grid.visible_rows; ++row) {
        move_cursor(0, grid.top_row + row);
        clear_line();
    }
    grid_draw_all(grid);
}

bool move_to(menu_grid& grid, int target) {
    const int left = grid.current;
    grid.current = target;
    if (follow_current(grid)) {
        redraw_window(grid);
    } else {
        grid_draw_item(grid, left);
        grid_draw_item(grid, target);
    }
    return true;
}

}  // namespace

void grid_draw_item(const menu_grid& grid, int i) {
    if (i < 0 || i >= grid.count || !is_visible(grid, i)) return;
    const grid_item* item = grid.items[static_cast<std::size_t>(i)];
    move_cursor((i / grid.rows) * grid_column_width, grid.top_row + i % grid.rows - grid.first_row);
    std::putchar(' ');
    const bool highlighted = i == grid.current;
    if (highlighted) set_attributes(attribute_reverse);
    std::printf(" [%c] %.*s ", item->item_selected() ? 'X' : ' ', grid_name_width,
                item->item_name());
    if (highlighted) set_attributes(0);
}

void grid_draw_all(const menu_grid& grid) {
    for (int i = 0; i < grid.count; ++i) grid_draw_item(grid, i);
}

bool grid_up(menu_grid& grid) {
    if (grid.count == 0 || grid.current == 0) return false;
    return move_to(grid, grid.current - 1);
}

bool grid_down(menu_grid& grid) {
    if (grid.current >= grid.count - 1) return false;
    return move_to(grid, grid.current + 1);
}

bool grid_left(menu_grid& grid) {
    if (grid.count == 0 || grid.current - grid.rows < 0) return false;
    return move_to(grid, grid.current - grid.rows);
}

bool grid_right(menu_grid& grid) {
    if (grid.count == 0 || grid.current + grid.rows >= grid.count) return false;
    return move_to(grid, grid.current + grid.rows);
}
