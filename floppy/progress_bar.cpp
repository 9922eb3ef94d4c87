#include "floppy/progress_bar.h"

#include <cstdio>

void show_progress(progress_bar& bar) {
    std::putchar('[');
    for (std::uint32_t i = 0; i < bar.width; ++i) std::putchar(' ');
    std::putchar(']');
    std::fflush(stdout);
    bar.shown = true;
}

void update_progress(progress_bar& bar, std::uint32_t steps) {
    bar.steps = steps;
    std::uint32_t cells = bar.total == 0 ? bar.width : steps * bar.width / bar.total;
    if (cells > bar.width) cells = bar.width;
    if (!bar.shown || cells <= bar.cells) return;
    std::fputs("\r[", stdout);
    std::fflush(stdout);
    for (std::uint32_t i = 0; i < cells; ++i) std::putchar('#');
    std::fflush(stdout);
    bar.cells = cells;
}

void step_progress(progress_bar& bar) {
    update_progress(bar, bar.steps + 1);
}

void end_progress(progress_bar& bar) {
    if (bar.shown) std::putchar('\n');
    bar.shown = false;
}
