#pragma once

#include <cstdint>

// A bar of cells that fills as steps are done, drawn on the console line.
struct progress_bar {
    std::uint32_t width = 70;
    std::uint32_t total = 100;
    std::uint32_t cells = 0;  // drawn so far
    bool shown = false;
    std::uint32_t steps = 0;
};

// Draws the empty bar: "[", width blanks, "]".
void show_progress(progress_bar& bar);
// Sets the steps done and redraws when that fills more cells.
void update_progress(progress_bar& bar, std::uint32_t steps);
void step_progress(progress_bar& bar);
// Ends the bar's line when it was drawn.
void end_progress(progress_bar& bar);
