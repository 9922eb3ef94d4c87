#include "bootsetup/menu_grid.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "console_session.h"
#include "screen_model.h"

namespace {

struct named_item final : grid_item {
    std::string name;
    bool selected = false;
    [[nodiscard]] const char* item_name() const override { return name.c_str(); }
    [[nodiscard]] bool item_selected() const override { return selected; }
};

struct grid_fixture {
    std::vector<named_item> storage;
    std::vector<const grid_item*> pointers;
    menu_grid grid;

    explicit grid_fixture(int count, int max_rows = 14) : storage(static_cast<std::size_t>(count)) {
        for (int i = 0; i < count; ++i) {
            storage[static_cast<std::size_t>(i)].name = "p" + std::to_string(i);
            pointers.push_back(&storage[static_cast<std::size_t>(i)]);
        }
        grid_init(grid, pointers.data(), count, 7, max_rows);
    }
};

std::string output_of(const std::function<void()>& body) {
    return console_test::run_on_pipes(body).output;
}

// Runs body here, for its effect on the grid, with its drawing thrown away.
void silently(const std::function<void()>& body) {
    std::fflush(stdout);
    const int saved = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    body();
    std::fflush(stdout);
    dup2(saved, 1);
    close(null);
    close(saved);
}

TEST(menu_grid, seven_items_fill_column_by_column) {
    grid_fixture f(7);
    f.storage[4].selected = true;
    EXPECT_EQ(f.grid.rows, 3);
    EXPECT_EQ(f.grid.columns, 3);
    const console_test::screen_model screen(output_of([&] { grid_draw_all(f.grid); }));
    EXPECT_EQ(screen.line(7),
              "  [ ] p0" + std::string(17, ' ') + "  [ ] p3" + std::string(18, ' ') + "  [ ] p6");
    EXPECT_EQ(screen.line(8), "  [ ] p1" + std::string(17, ' ') + "  [X] p4");
    EXPECT_EQ(screen.line(9), "  [ ] p2" + std::string(17, ' ') + "  [ ] p5");
    // The highlight covers the brackets, mark, name and the spaces around
    // them, not the leading space.
    EXPECT_EQ(screen.looks(7), " RRRRRRRR");
    EXPECT_EQ(screen.rows_drawn, (std::set<int>{7, 8, 9}));
}

TEST(menu_grid, item_bytes_and_name_cut_to_sixteen) {
    grid_fixture f(2);
    f.storage[1].name = "a-very-long-package-name";
    f.storage[1].selected = true;
    EXPECT_EQ(output_of([&] { grid_draw_item(f.grid, 0); }),
              "\033[7;0H \033[m\033[7m [ ] p0 \033[m");
    EXPECT_EQ(output_of([&] { grid_draw_item(f.grid, 1); }), "\033[7;26H  [X] a-very-long-pack ");
}

TEST(menu_grid, moves) {
    // Each case: items, starting item, move, whether it is made, end item.
    const struct {
        int count;
        int start;
        bool (*move)(menu_grid&);
        bool made;
        int end;
    } cases[] = {
        {7, 4, grid_right, false, 4}, {7, 3, grid_right, true, 6},  {7, 6, grid_left, true, 3},
        {7, 2, grid_left, false, 2},  {7, 0, grid_up, false, 0},    {7, 6, grid_down, false, 6},
        {7, 2, grid_down, true, 3},   {1, 0, grid_up, false, 0},    {1, 0, grid_down, false, 0},
        {1, 0, grid_left, false, 0},  {1, 0, grid_right, false, 0}, {0, 0, grid_down, false, 0},
        {0, 0, grid_left, false, 0},
    };
    for (const auto& c : cases) {
        grid_fixture f(c.count);
        f.grid.current = c.start;
        const auto run = console_test::run_on_pipes([&] {
            const bool made = c.move(f.grid);
            console_test::report(std::to_string(made) + " " + std::to_string(f.grid.current));
        });
        EXPECT_EQ(run.report, std::to_string(c.made) + " " + std::to_string(c.end))
            << c.count << " items from " << c.start;
        EXPECT_EQ(run.output.empty(), !c.made) << "a refused move draws nothing";
    }
}

TEST(menu_grid, a_move_redraws_the_item_left_then_the_new_one) {
    grid_fixture f(7);
    EXPECT_EQ(output_of([&] { grid_down(f.grid); }),
              "\033[7;0H  [ ] p0 \033[8;0H \033[m\033[7m [ ] p1 \033[m");
}

TEST(menu_grid, more_than_fits_scrolls_inside_its_rows) {
    grid_fixture f(50);
    EXPECT_EQ(f.grid.rows, 17);
    EXPECT_EQ(f.grid.visible_rows, 14);
    console_test::screen_model screen(output_of([&] { grid_draw_all(f.grid); }));
    EXPECT_EQ(*screen.rows_drawn.rbegin(), 20);
    EXPECT_EQ(screen.line(7).substr(0, 8), "  [ ] p0");
    EXPECT_EQ(screen.line(7).substr(25, 9), "  [ ] p17");

    // Down to the last row of the first block: the window follows, and
    // nothing is drawn below row 20, where the information lines are.
    screen.feed(output_of([&] {
        for (int i = 0; i < 16; ++i) grid_down(f.grid);
    }));
    silently([&] {
        for (int i = 0; i < 16; ++i) grid_down(f.grid);
    });
    EXPECT_EQ(f.grid.first_row, 3);
    EXPECT_EQ(*screen.rows_drawn.rbegin(), 20);
    EXPECT_EQ(screen.line(7).substr(0, 8), "  [ ] p3");
    EXPECT_EQ(screen.line(20).substr(0, 9), "  [ ] p16");
    EXPECT_EQ(screen.looks(20).substr(0, 10), " RRRRRRRRR");
    // The third block has 16 items, so its place in the last row stays empty.
    EXPECT_EQ(screen.line(20).size(), 34u);
    EXPECT_EQ(screen.line(19).substr(51), "  [ ] p49");

    // Into the next block the window returns to its top.
    screen.feed(output_of([&] { grid_down(f.grid); }));
    silently([&] { grid_down(f.grid); });
    EXPECT_EQ(f.grid.first_row, 0);
    EXPECT_EQ(screen.line(7).substr(25, 9), "  [ ] p17");
    EXPECT_EQ(*screen.rows_drawn.rbegin(), 20);
}

}  // namespace
