#pragma once

#include "base/array.h"

// What a grid shows of a list entry: a name (the first 16 characters appear)
// and a mark.
class grid_item {
public:
    [[nodiscard]] virtual const char* item_name() const = 0;
    [[nodiscard]] virtual bool item_selected() const = 0;

protected:
    ~grid_item() = default;
};

inline constexpr int grid_columns = 3;
inline constexpr int grid_column_width = 26;
inline constexpr int grid_name_width = 16;

// Three blocks of items, filled column by column: item i sits in block
// i / rows and grid row i % rows. When there are more grid rows than fit
// on the screen, a window of visible_rows rows follows the current item.
struct menu_grid {
    array<const grid_item*> items;
    int count = 0;
    int current = 0;
    int top_row = 0;
    int columns = grid_columns;
    int rows = 0;
    int visible_rows = 0;
    int first_row = 0;
};

// max_rows bounds the screen rows the grid may use below top_row.
void grid_init(menu_grid& grid, const grid_item* const* items, int count, int top_row,
               int max_rows);
void grid_draw_item(const menu_grid& grid, int i);
void grid_draw_all(const menu_grid& grid);

// Each refuses (false, nothing drawn) a move past the ends of the list.
bool grid_up(menu_grid& grid);
bool grid_down(menu_grid& grid);
bool grid_left(menu_grid& grid);
bool grid_right(menu_grid& grid);
